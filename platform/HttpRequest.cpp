#include "platform/HttpRequest.h"

CHttpRequest::CHttpRequest() = default;

CHttpRequest::~CHttpRequest() = default;

void CHttpRequest::Cancel() { m_transfers.Cancel(); }

CHttpRequest::Result CHttpRequest::Perform(const COptions& options, const ResponseHandler& onResponse,
                                           const BodyHandler& onBody)
{
    m_bResponseArrived = false;
    m_strError.clear();
    if (m_transfers.IsCancelled())
        return Result::Cancelled;
    bool done = false;
    CHttpOutcome outcome;
    m_transfers.Add(
        options, [&](const CHttpResponse& response) { return onResponse(response.status, response.contentLength); },
        onBody,
        [&](const CHttpOutcome& ended) {
            outcome = ended;
            done = true;
        });
    // A second at most between looks, so that a lost wakeup can only delay,
    // never hang.
    while (!done)
        m_transfers.Poll(std::chrono::milliseconds(1000));
    m_bResponseArrived = outcome.responseArrived;
    m_strError = outcome.errorText;
    return outcome.result;
}
