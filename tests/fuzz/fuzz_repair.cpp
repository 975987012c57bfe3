// Arbitrary bytes through the repair of carelessly written documents, then
// through the second read that parses the repaired text, as a feed that
// libxml2 reads only with errors goes. The repair works on bytes of its
// own, outside libxml2, so it is fuzzed directly: no crash, no read out of
// bounds, a bounded growth, and a repaired text that parses like any other.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "content/XmlReader.h"
#include "content/XmlRepair.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::Initialise("fuzz-repair");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const CRepairedXml repaired = RepairXmlText(text);
    if (!repaired.changed) {
        fuzz::Require(repaired.text.empty(), "an unchanged text is not copied");
        return 0;
    }
    // "&" becomes "&amp;", the worst a byte can grow, beside a declaration.
    fuzz::Require(repaired.text.size() <= 8 * size + 256, "the repair grows a text boundedly");
    ParseRepairedXml(repaired, L"fuzz-repair.xml");
    // A repaired text read with errors again is repaired again.
    RepairXmlText(repaired.text);
    return 0;
}
