#include "content/XmlRepair.h"

#include <libxml/HTMLparser.h>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "platform/Unicode.h"

namespace {

// HTML elements that never have content. "link", "source", "meta" and "base"
// are void in HTML too, but feeds use elements of those names with content.
constexpr std::string_view kVoidElements[] = {"area", "br", "col", "embed", "hr",
                                              "img", "input", "param", "track", "wbr"};

// Entity names longer than this are not looked for: no HTML name comes near
// it, and a bare "&" before a long word must not make the scan quadratic.
constexpr size_t kMaxEntityName = 64;

bool IsAsciiLetter(unsigned char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); }
bool IsDigit(unsigned char ch) { return ch >= '0' && ch <= '9'; }
bool IsHexDigit(unsigned char ch) { return IsDigit(ch) || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F'); }
bool IsSpace(unsigned char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }
// Bytes of non-ASCII characters count as name characters, as most of them are.
bool IsNameStart(unsigned char ch) { return IsAsciiLetter(ch) || ch == '_' || ch == ':' || ch >= 0x80; }
bool IsNameChar(unsigned char ch) { return IsNameStart(ch) || IsDigit(ch) || ch == '-' || ch == '.'; }

bool EqualsAsciiNoCase(std::string_view left, std::string_view right)
{
    if (left.size() != right.size())
        return false;
    for (size_t i = 0; i < left.size(); ++i) {
        unsigned char a = static_cast<unsigned char>(left[i]);
        unsigned char b = static_cast<unsigned char>(right[i]);
        if (a >= 'A' && a <= 'Z')
            a = static_cast<unsigned char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = static_cast<unsigned char>(b - 'A' + 'a');
        if (a != b)
            return false;
    }
    return true;
}

bool IsVoidElement(std::string_view name)
{
    // Every void name is 2 to 5 letters long: most names of feeds are not.
    if (name.size() < 2 || name.size() > 5)
        return false;
    for (std::string_view candidate : kVoidElements) {
        if (EqualsAsciiNoCase(name, candidate))
            return true;
    }
    return false;
}

// The local part of a name: "itunes:category" gives "category".
std::string_view LocalName(std::string_view name)
{
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The element an item or entry belongs in: "channel" (RSS; RSS 1.0 items
// may also stand in the RDF root) or "feed" (Atom). Nothing for any other
// element: an "item" of another namespace ("foo:item") is left alone.
bool IsItemContainer(std::string_view item, std::string_view element)
{
    if (EqualsAsciiNoCase(item, "item"))
        return EqualsAsciiNoCase(LocalName(element), "channel") || EqualsAsciiNoCase(LocalName(element), "RDF");
    if (EqualsAsciiNoCase(item, "entry"))
        return EqualsAsciiNoCase(LocalName(element), "feed");
    return false;
}

bool IsPredefinedEntity(std::string_view name)
{
    return name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos";
}

// A byte-order mark or a NUL among the first two bytes: UTF-16 or UTF-32,
// where a byte-wise rewrite would break characters.
bool IsWideEncoding(std::string_view text)
{
    if (text.size() < 2)
        return false;
    const auto first = static_cast<unsigned char>(text[0]);
    const auto second = static_cast<unsigned char>(text[1]);
    return (first == 0xFE && second == 0xFF) || (first == 0xFF && second == 0xFE) || first == 0 || second == 0;
}

// A UTF-8 byte-order mark, or an XML declaration naming an encoding.
bool DeclaresEncoding(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        return true;
    if (text.substr(0, 5) != "<?xml")
        return false;
    const std::string_view declaration = text.substr(0, text.find("?>"));
    return declaration.find("encoding") != std::string_view::npos;
}

} // namespace

// The mending, one step at a time: a run of text, or one piece of markup or
// one reference. The text is copied lazily: what lies between the last
// change and m_pos goes out in one piece at the next change, or to the
// reader straight from the text. What a step mends is queued in m_out, in
// front of what is still pending; a step is taken only once both are out.
class CXmlMender {
public:
    enum class Use { Mend, FindAChange };
    CXmlMender(std::string_view text, Use use) : m_text(text), m_bOnlyFind(use == Use::FindAChange) {}

    // False at the end of the text (or, finding, once a change is found).
    bool Step()
    {
        if (m_pos >= m_text.size() || (m_bOnlyFind && m_bChanged))
            return false;
        const size_t next = NextMarkupOrReference();
        if (next > m_pos)
            CopyTo(next);
        else if (m_text[m_pos] == '&')
            Reference();
        else
            Markup();
        return true;
    }

    size_t Read(char* buffer, size_t size)
    {
        size_t done = 0;
        bool more = true;
        while (done < size) {
            if (m_outRead < m_out.size()) {
                const size_t count = std::min(size - done, m_out.size() - m_outRead);
                std::memcpy(buffer + done, m_out.data() + m_outRead, count);
                m_outRead += count;
                done += count;
                continue;
            }
            m_out.clear();
            m_outRead = 0;
            // Text that needs no mending goes out in pieces as long as the
            // buffer takes: steps are taken while they only move on.
            while (more && m_out.empty() && m_pos - m_copied < size - done)
                more = Step();
            if (!m_out.empty())
                continue;
            if (m_copied == m_pos)
                break; // the end
            const size_t count = std::min(size - done, m_pos - m_copied);
            std::memcpy(buffer + done, m_text.data() + m_copied, count);
            m_copied += count;
            done += count;
        }
        return done;
    }

    bool Changed() const { return m_bChanged; }
    size_t Consumed() const { return m_copied; }

private:
    // The next "<" or "&" from m_pos on, or the end of the text: memchr
    // finds each of the two, and each is looked for again only once passed.
    size_t NextMarkupOrReference()
    {
        const auto next = [this](char ch, size_t& found) {
            if (found == std::string_view::npos || found < m_pos) {
                const void* hit = std::memchr(m_text.data() + m_pos, ch, m_text.size() - m_pos);
                found = hit != nullptr ? static_cast<const char*>(hit) - m_text.data() : m_text.size();
            }
            return found;
        };
        return std::min(next('<', m_nextMarkup), next('&', m_nextReference));
    }

    bool At(std::string_view what) const { return m_text.substr(m_pos, what.size()) == what; }

    void CopyTo(size_t end) { m_pos = end; }

    void Flush()
    {
        if (!m_bOnlyFind)
            m_out.append(m_text, m_copied, m_pos - m_copied);
        m_copied = m_pos;
    }

    // What the text holds from m_pos to end goes out as replacement.
    void Replace(size_t end, std::string_view replacement)
    {
        Flush();
        if (!m_bOnlyFind)
            m_out += replacement;
        m_pos = m_copied = end;
        m_bChanged = true;
    }

    // Inserted at m_pos.
    void Insert(std::string_view text)
    {
        Flush();
        if (!m_bOnlyFind)
            m_out += text;
        m_bChanged = true;
    }

    // Copies through the first "terminator" (or to the end of the text).
    void CopyThrough(std::string_view terminator, size_t from)
    {
        const size_t end = m_text.find(terminator, from);
        CopyTo(end == std::string_view::npos ? m_text.size() : end + terminator.size());
    }

    // End of a well-formed reference starting at m_pos ("&name;", "&#65;",
    // "&#x41;"), or npos for a bare "&".
    size_t ReferenceEnd(bool& isCharacter) const
    {
        size_t pos = m_pos + 1;
        const size_t limit = std::min(m_text.size(), m_pos + 2 + kMaxEntityName);
        isCharacter = pos < limit && m_text[pos] == '#';
        if (isCharacter) {
            ++pos;
            const bool hex = pos < limit && m_text[pos] == 'x';
            pos += hex ? 1 : 0;
            const size_t digits = pos;
            while (pos < limit && (hex ? IsHexDigit(m_text[pos]) : IsDigit(m_text[pos])))
                ++pos;
            return pos > digits && pos < limit && m_text[pos] == ';' ? pos + 1 : std::string_view::npos;
        }
        if (pos >= limit || !IsNameStart(m_text[pos]))
            return std::string_view::npos;
        while (pos < limit && IsNameChar(m_text[pos]))
            ++pos;
        return pos < limit && m_text[pos] == ';' ? pos + 1 : std::string_view::npos;
    }

    // At "&": keeps a reference libxml2 resolves, turns an HTML name into a
    // numeric reference and escapes anything else, so that it reads as written.
    void Reference()
    {
        // The predefined references, by far the most common, first.
        const std::string_view after = m_text.substr(m_pos + 1, 5);
        if (after.starts_with("lt;") || after.starts_with("gt;")) {
            CopyTo(m_pos + 4);
            return;
        }
        if (after.starts_with("amp;")) {
            CopyTo(m_pos + 5);
            return;
        }
        if (after.starts_with("quot;") || after.starts_with("apos;")) {
            CopyTo(m_pos + 6);
            return;
        }
        bool isCharacter = false;
        const size_t end = ReferenceEnd(isCharacter);
        if (end != std::string_view::npos) {
            const std::string_view name = m_text.substr(m_pos + 1, end - m_pos - 2);
            if (isCharacter || IsPredefinedEntity(name) || m_declared.find(name) != m_declared.end()) {
                CopyTo(end);
                return;
            }
            char terminated[kMaxEntityName + 1] = {};
            name.copy(terminated, kMaxEntityName);
            if (const htmlEntityDesc* html = htmlEntityLookup(reinterpret_cast<const xmlChar*>(terminated))) {
                Replace(end, "&#" + std::to_string(html->value) + ";");
                return;
            }
        }
        Replace(m_pos + 1, "&amp;");
    }

    void Markup()
    {
        const char next = m_pos + 1 < m_text.size() ? m_text[m_pos + 1] : '\0';
        if (next == '/')
            EndTag();
        else if (next == '!' && At("<!--"))
            CopyThrough("-->", m_pos + 4);
        else if (next == '!' && At("<![CDATA["))
            CopyThrough("]]>", m_pos + 9);
        else if (next == '!')
            Declaration();
        else if (next == '?')
            CopyThrough("?>", m_pos + 2);
        else if (IsNameStart(next))
            StartTag();
        else
            CopyTo(m_pos + 1); // a stray "<": libxml2's recovery deals with it
    }

    // A document type declaration, with its internal subset: copied whole.
    // The general entities it declares are noted, so that references to them
    // are kept.
    void Declaration()
    {
        size_t pos = m_pos + 2;
        int depth = 0;
        while (pos < m_text.size()) {
            const char ch = m_text[pos];
            if (ch == '"' || ch == '\'') {
                const size_t close = m_text.find(ch, pos + 1);
                pos = close == std::string_view::npos ? m_text.size() : close + 1;
                continue;
            }
            if (m_text.substr(pos, 4) == "<!--") {
                const size_t close = m_text.find("-->", pos + 4);
                pos = close == std::string_view::npos ? m_text.size() : close + 3;
                continue;
            }
            if (m_text.substr(pos, 8) == "<!ENTITY")
                NoteEntityDeclaration(pos + 8);
            if (ch == '[')
                ++depth;
            else if (ch == ']' && depth > 0)
                --depth;
            else if (ch == '>' && depth == 0) {
                ++pos;
                break;
            }
            ++pos;
        }
        CopyTo(pos);
    }

    void NoteEntityDeclaration(size_t pos)
    {
        while (pos < m_text.size() && IsSpace(m_text[pos]))
            ++pos;
        const size_t start = pos;
        while (pos < m_text.size() && IsNameChar(m_text[pos]))
            ++pos;
        if (pos > start) // a parameter entity ("%") has no name here
            m_declared.emplace(m_text.substr(start, pos - start));
    }

    // An end tag of a void element is dropped: the element was closed where
    // it started. So is the end tag of an element closed in front of an
    // item, should it come after all. Any other end tag closes the element
    // open last, whatever its name, as libxml2's recovery has it.
    void EndTag()
    {
        size_t pos = m_pos + 2;
        while (pos < m_text.size() && IsNameChar(m_text[pos]))
            ++pos;
        const std::string_view name = m_text.substr(m_pos + 2, pos - m_pos - 2);
        const size_t close = m_text.find('>', pos);
        const size_t end = close == std::string_view::npos ? m_text.size() : close + 1;
        if (IsVoidElement(name) && close != std::string_view::npos) {
            Replace(end, "");
            return;
        }
        if (m_open.Empty() || m_open.Back() != name) {
            const auto closed = m_closedBeforeItems.find(name);
            if (closed != m_closedBeforeItems.end() && close != std::string_view::npos) {
                if (--closed->second == 0)
                    m_closedBeforeItems.erase(closed);
                Replace(end, "");
                return;
            }
        }
        if (!m_open.Empty())
            m_open.Pop();
        CopyTo(end);
    }

    // An item (entry) that starts inside an element left open in its
    // channel (feed), an "itunes:category" without its end tag, say, would
    // nest in it and be lost: the open elements are closed in front of it.
    void CloseAboveContainer(std::string_view item)
    {
        if (m_open.Empty() || IsItemContainer(item, m_open.Back()) ||
            !(EqualsAsciiNoCase(item, "item") || EqualsAsciiNoCase(item, "entry")))
            return;
        // Only a few levels down: a channel is not left open under a deep
        // nest, and a search as deep as the nest would make a document of
        // many items and deep nests cost their product.
        size_t container = m_open.Size();
        const size_t deepest = container > kMaxLevelsClosed ? container - kMaxLevelsClosed : 0;
        while (container > deepest && !IsItemContainer(item, m_open.At(container - 1)))
            --container;
        if (container == deepest)
            return;
        while (m_open.Size() > container) {
            Insert("</");
            Insert(m_open.Back());
            Insert(">");
            ++m_closedBeforeItems[std::string(m_open.Back())];
            m_open.Pop();
        }
    }

    // A start tag; references in its attribute values are mended like those
    // in text, and a void element is closed.
    void StartTag()
    {
        size_t pos = m_pos + 1;
        while (pos < m_text.size() && IsNameChar(m_text[pos]))
            ++pos;
        const std::string_view name = m_text.substr(m_pos + 1, pos - m_pos - 1);
        const bool isVoid = IsVoidElement(name);
        if (name.size() == 4 || name.size() == 5)
            CloseAboveContainer(name);
        CopyTo(pos);
        while (m_pos < m_text.size()) {
            const char ch = m_text[m_pos];
            if (ch == '"' || ch == '\'') {
                if (!QuotedValue(ch))
                    return;
            } else if (ch == '>') {
                if (isVoid && !EndsWithSlash()) {
                    Insert("/");
                } else if (!isVoid && !EndsWithSlash()) {
                    m_open.Push(name);
                }
                CopyTo(m_pos + 1);
                return;
            } else if (ch == '<') {
                return; // the tag is broken off; the next one starts here
            } else {
                CopyTo(m_pos + 1);
            }
        }
    }

    // False when a "<" ends the value: no value holds one, so the tag is
    // broken and what follows is left to the main scan.
    bool QuotedValue(char quote)
    {
        CopyTo(m_pos + 1);
        while (m_pos < m_text.size() && m_text[m_pos] != quote) {
            size_t next = m_pos;
            while (next < m_text.size() && m_text[next] != quote && m_text[next] != '&' && m_text[next] != '<')
                ++next;
            CopyTo(next);
            if (m_pos >= m_text.size() || m_text[m_pos] == quote)
                break;
            if (m_text[m_pos] == '<')
                return false;
            Reference();
        }
        if (m_pos < m_text.size())
            CopyTo(m_pos + 1);
        return true;
    }

    // The tag before m_pos ends with "/" (a tag's name is never mended, so
    // the text as written tells).
    bool EndsWithSlash() const
    {
        size_t end = m_pos;
        while (end > 0 && IsSpace(m_text[end - 1]))
            --end;
        return end > 0 && m_text[end - 1] == '/';
    }

    std::string_view m_text;
    const bool m_bOnlyFind;
    size_t m_pos = 0;
    size_t m_copied = 0; // the text before this is out, or in m_out
    size_t m_nextMarkup = std::string_view::npos;
    size_t m_nextReference = std::string_view::npos;
    std::string m_out; // mended text the reader has yet to take, from m_outRead on
    size_t m_outRead = 0;
    std::set<std::string, std::less<>> m_declared;
    // The elements open at this point, as libxml2 will see them, and those
    // closed in front of an item whose end tags may still come.
    // Copies, not views of the text: the text's pages are let go behind the
    // reader (CXmlRepairStream::Consumed), and the names of the root and
    // the channel would otherwise keep its first pages in memory.
    class COpenElements {
    public:
        bool Empty() const { return m_starts.empty(); }
        size_t Size() const { return m_starts.size(); }
        std::string_view At(size_t index) const
        {
            const size_t end = index + 1 < m_starts.size() ? m_starts[index + 1] : m_names.size();
            return std::string_view(m_names).substr(m_starts[index], end - m_starts[index]);
        }
        std::string_view Back() const { return std::string_view(m_names).substr(m_starts.back()); }
        void Push(std::string_view name)
        {
            m_starts.push_back(m_names.size());
            m_names += name;
        }
        void Pop()
        {
            m_names.resize(m_starts.back());
            m_starts.pop_back();
        }

    private:
        std::string m_names;
        std::vector<size_t> m_starts;
    };
    COpenElements m_open;
    std::map<std::string, int, std::less<>> m_closedBeforeItems; // name: how many
    static constexpr size_t kMaxLevelsClosed = 16;
    bool m_bChanged = false;
};

namespace {

// A document without a declared encoding is UTF-8 to libxml2; when it is
// not, it was almost always written in the Windows Western code page (a
// superset of Latin-1 for everything but control characters). It is
// converted rather than declared, since libxml2's converter stops the
// document at the first byte the code page leaves undefined.
bool IsUndeclaredWindows1252(std::string_view text) { return !DeclaresEncoding(text) && !IsValidUtf8(text); }

} // namespace

CXmlRepairStream::CXmlRepairStream(std::string_view text)
{
    if (IsWideEncoding(text)) {
        m_text = text;
        return;
    }
    m_bConverted = IsUndeclaredWindows1252(text);
    if (m_bConverted)
        m_converted = Windows1252ToUtf8(text);
    m_pMender = std::make_unique<CXmlMender>(m_bConverted ? std::string_view(m_converted) : text,
                                             CXmlMender::Use::Mend);
}

CXmlRepairStream::~CXmlRepairStream() = default;

size_t CXmlRepairStream::Read(char* buffer, size_t size)
{
    if (m_pMender)
        return m_pMender->Read(buffer, size);
    const size_t count = std::min(size, m_text.size());
    std::memcpy(buffer, m_text.data(), count);
    m_text.remove_prefix(count);
    m_nPassed += count;
    return count;
}

bool CXmlRepairStream::Changed() const { return m_bConverted || (m_pMender && m_pMender->Changed()); }

size_t CXmlRepairStream::Consumed() const
{
    if (m_bConverted)
        return SIZE_MAX; // the converted copy is read, not the text
    return m_pMender ? m_pMender->Consumed() : m_nPassed;
}

bool NeedsRepair(std::string_view text)
{
    if (IsWideEncoding(text))
        return false;
    if (IsUndeclaredWindows1252(text))
        return true;
    CXmlMender finder(text, CXmlMender::Use::FindAChange);
    while (finder.Step()) {
    }
    return finder.Changed();
}

CRepairedXml RepairXmlText(std::string_view text)
{
    CRepairedXml result;
    CXmlRepairStream stream(text);
    std::string mended;
    mended.reserve(text.size() + text.size() / 32);
    constexpr size_t kPiece = 64 * 1024;
    for (size_t got = kPiece; got == kPiece;) {
        const size_t size = mended.size();
        mended.resize(size + kPiece);
        got = stream.Read(mended.data() + size, kPiece);
        mended.resize(size + got);
    }
    result.changed = stream.Changed();
    if (result.changed)
        result.text = std::move(mended);
    return result;
}
