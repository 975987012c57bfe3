#include "update/FeedUpdateResult.h"

const char* OutcomeName(CFeedOutcome outcome)
{
    switch (outcome) {
    case CFeedOutcome::Updated:
        return "updated";
    case CFeedOutcome::Failed:
        return "failed";
    case CFeedOutcome::Skipped:
        break;
    }
    return "skipped";
}

const char* FailureName(CFeedFailure failure)
{
    switch (failure) {
    case CFeedFailure::None:
        return "";
    case CFeedFailure::NoRecord:
        return "no feed record";
    case CFeedFailure::NoConnection:
        return "no connection";
    case CFeedFailure::HttpStatus:
        return "http status";
    case CFeedFailure::Gone:
        return "gone";
    case CFeedFailure::RetryLater:
        return "retry later";
    case CFeedFailure::Timeout:
        return "timeout";
    case CFeedFailure::Incomplete:
        return "incomplete";
    case CFeedFailure::UnexpectedAnswer:
        return "unexpected answer";
    case CFeedFailure::Network:
        return "network error";
    case CFeedFailure::TooLarge:
        return "too large";
    case CFeedFailure::NotAFeed:
        return "not a feed";
    case CFeedFailure::StoreError:
        return "store error";
    case CFeedFailure::Cancelled:
        return "cancelled";
    }
    return "";
}
