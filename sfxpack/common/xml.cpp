// A small well-formedness check of XML, as much as manifests use.
#include "sfxpack/common/xml.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "sfxpack/common/codepage.h"

namespace sfxpack {

namespace {

class XmlWalk {
public:
    XmlWalk(const std::string &xml, const XmlStartTag &onStart) : xml_(xml), onStart_(onStart) {}

    bool Run(std::string *error)
    {
        if (!CheckCharacters())
            return Fail(error);
        if (xml_.compare(0, 3, "\xEF\xBB\xBF") == 0)
            at_ = 3;
        if (StartsPi() && IsXmlTarget() && !Declaration())
            return Fail(error);
        std::vector<std::string> open;
        bool rooted = false;
        while (at_ < xml_.size()) {
            if (xml_[at_] != '<') {
                if (open.empty() && !IsSpace(xml_[at_]))
                    problem_ = "text outside the root element";
                else if (Starts("]]>"))
                    problem_ = "']]>' outside a CDATA section";
                else if (xml_[at_] == '&')
                    Entity();
                else
                    at_++;
            } else if (Starts("<!--")) {
                Comment();
            } else if (StartsPi()) {
                ProcessingInstruction();
            } else if (Starts("<![CDATA[") && !open.empty()) {
                SkipPast("]]>", "a CDATA section is not closed");
            } else if (Starts("<!")) {
                problem_ = "declarations such as DOCTYPE are not allowed";
            } else if (Starts("</")) {
                EndTag(&open);
            } else if (open.empty() && rooted) {
                problem_ = "a second root element";
            } else {
                rooted = true;
                at_++;
                std::string name;
                if (StartTag(&name))
                    open.push_back(name);
            }
            if (!problem_.empty())
                return Fail(error);
        }
        if (!open.empty())
            problem_ = "element <" + open.back() + "> is not closed";
        else if (!rooted)
            problem_ = "no root element";
        return problem_.empty() || Fail(error);
    }

private:
    bool Fail(std::string *error)
    {
        size_t line = 1 + std::count(xml_.begin(), xml_.begin() + std::min(at_, xml_.size()), '\n');
        *error = "line " + std::to_string(line) + ": " + problem_;
        return false;
    }

    bool Starts(const char *text) const { return xml_.compare(at_, std::strlen(text), text) == 0; }
    bool StartsPi() const { return Starts("<?"); }
    // "<?xml" and any case of it, which only the declaration may use.
    bool IsXmlTarget() const
    {
        return at_ + 5 < xml_.size() && std::tolower(xml_[at_ + 2]) == 'x' && std::tolower(xml_[at_ + 3]) == 'm' &&
               std::tolower(xml_[at_ + 4]) == 'l' && (IsSpace(xml_[at_ + 5]) || xml_[at_ + 5] == '?');
    }

    // Valid UTF-8 and no control character that XML 1.0 forbids.
    bool CheckCharacters()
    {
        for (at_ = 0; at_ < xml_.size();) {
            size_t start = at_;
            uint32_t c;
            if (!DecodeUtf8(xml_, &at_, &c)) {
                at_ = start;
                problem_ = "invalid UTF-8 at byte " + std::to_string(start);
                return false;
            }
            if (c < 0x20 && !IsSpace(char(c))) {
                at_ = start;
                problem_ = "control character " + std::to_string(c) + " at byte " + std::to_string(start);
                return false;
            }
        }
        at_ = 0;
        return true;
    }

    bool SkipPast(const char *end, const char *unclosed)
    {
        size_t found = xml_.find(end, at_);
        if (found == std::string::npos)
            problem_ = unclosed;
        else
            at_ = found + std::strlen(end);
        return problem_.empty();
    }

    void Comment()
    {
        size_t dashes = xml_.find("--", at_ + 4);
        if (dashes == std::string::npos)
            problem_ = "a comment is not closed";
        else if (xml_.compare(dashes, 3, "-->") != 0)
            at_ = dashes, problem_ = "'--' inside a comment";
        else
            at_ = dashes + 3;
    }

    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    void SkipSpace()
    {
        while (at_ < xml_.size() && IsSpace(xml_[at_]))
            at_++;
    }

    static bool NameByte(unsigned char c, bool first)
    {
        return std::isalpha(c) || c == '_' || c == ':' || c >= 0x80 || (!first && (std::isdigit(c) || c == '-' || c == '.'));
    }

    std::string Name()
    {
        size_t start = at_;
        while (at_ < xml_.size() && NameByte(xml_[at_], at_ == start))
            at_++;
        if (at_ == start)
            problem_ = "a name is missing or begins with a character a name cannot begin with";
        return xml_.substr(start, at_ - start);
    }

    // &lt; &gt; &amp; &quot; &apos;, &#NNN; and &#xHHH;
    void Entity()
    {
        size_t end = xml_.find(';', at_);
        std::string name = end == std::string::npos ? "" : xml_.substr(at_ + 1, end - at_ - 1);
        bool hex = name.size() > 2 && name[1] == 'x', decimal = name.size() > 1 && !hex;
        size_t digits = name.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789", hex ? 2 : 1);
        bool number = name[0] == '#' && (hex || decimal) && digits == std::string::npos && name.size() < 9;
        unsigned long code = number ? std::strtoul(name.c_str() + (hex ? 2 : 1), nullptr, hex ? 16 : 10) : 0;
        if (name == "lt" || name == "gt" || name == "amp" || name == "quot" || name == "apos" ||
            (number && code && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)))
            at_ = end + 1;
        else
            problem_ = "'&' begins no known entity (&lt; &gt; &amp; &quot; &apos; &#N;)";
    }

    void EndTag(std::vector<std::string> *open)
    {
        at_ += 2;
        std::string name = Name();
        SkipSpace();
        if (!problem_.empty())
            return;
        if (at_ >= xml_.size() || xml_[at_] != '>')
            problem_ = "end tag </" + name + " is not closed with '>'";
        else if (open->empty() || open->back() != name)
            problem_ = "end tag </" + name + "> does not match " +
                       (open->empty() ? "any start tag" : "<" + open->back() + ">");
        else
            open->pop_back(), at_++;
    }

    // The attributes up to `end` (or "/>" when `end` is ">"), which is left
    // to read; `owner` names the tag in messages.
    bool ReadAttributes(const std::string &owner, const char *end, XmlAttributes *attributes)
    {
        for (;;) {
            size_t before = at_;
            SkipSpace();
            if (Starts(end) || (end[0] == '>' && Starts("/>")))
                return true;
            if (at_ >= xml_.size())
                problem_ = "the text ends before " + owner + " is closed with '" + end + "'";
            else if (at_ == before)
                problem_ = "no space before an attribute of " + owner;
            std::string attribute = problem_.empty() ? Name() : "";
            SkipSpace();
            if (problem_.empty() && !Starts("="))
                problem_ = "attribute " + attribute + " of " + owner + " has no '='";
            if (!problem_.empty())
                return false;
            at_++;
            SkipSpace();
            char quote = at_ < xml_.size() ? xml_[at_] : 0;
            size_t close = quote == '"' || quote == '\'' ? xml_.find(quote, at_ + 1) : std::string::npos;
            if (close == std::string::npos) {
                problem_ = "attribute " + attribute + " of " + owner + " has no quoted value";
                return false;
            }
            size_t value = ++at_;
            while (at_ < close && problem_.empty()) {
                if (xml_[at_] == '<')
                    problem_ = "'<' in the value of attribute " + attribute;
                else if (xml_[at_] == '&')
                    Entity();
                else
                    at_++;
            }
            for (const auto &seen : *attributes)
                if (seen.first == attribute)
                    problem_ = "attribute " + attribute + " of " + owner + " is given twice";
            if (!problem_.empty())
                return false;
            attributes->emplace_back(attribute, xml_.substr(value, close - value));
            at_ = close + 1;
        }
    }

    // After '<': the name, the attributes and '>' or '/>'. True when the
    // element has content to come.
    bool StartTag(std::string *name)
    {
        *name = Name();
        XmlAttributes attributes;
        if (!problem_.empty() || !ReadAttributes("<" + *name + ">", ">", &attributes))
            return false;
        bool open = Starts(">");
        at_ += open ? 1 : 2;
        onStart_(*name, attributes);
        return open;
    }

    // <?xml version="1.0" encoding="UTF-8" standalone="yes"?>, the last two
    // optional; the text has been checked as UTF-8, so no other encoding.
    bool Declaration()
    {
        at_ += 5;
        XmlAttributes attributes;
        if (!ReadAttributes("the XML declaration", "?>", &attributes))
            return false;
        size_t i = 0;
        auto next = [&](const char *name) {
            return i < attributes.size() && attributes[i].first == name ? &attributes[i++].second : nullptr;
        };
        const std::string *version = next("version"), *encoding = next("encoding"), *standalone = next("standalone");
        std::string upper = encoding ? *encoding : "UTF-8";
        std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
        if (!version || version->size() < 3 || version->compare(0, 2, "1.") != 0 ||
            version->find_first_not_of("0123456789", 2) != std::string::npos)
            problem_ = "the XML declaration does not begin with version=\"1.x\"";
        else if (upper != "UTF-8")
            problem_ = "the XML declaration names encoding " + *encoding + ", where the text is UTF-8";
        else if (standalone && *standalone != "yes" && *standalone != "no")
            problem_ = "standalone in the XML declaration is neither \"yes\" nor \"no\"";
        else if (i < attributes.size())
            problem_ = "the XML declaration holds " + attributes[i].first +
                       " where only version, encoding and standalone may stand, in that order";
        at_ += 2;
        return problem_.empty();
    }

    void ProcessingInstruction()
    {
        if (IsXmlTarget()) {
            problem_ = "the XML declaration is not at the start";
            return;
        }
        at_ += 2;
        std::string target = Name();
        if (problem_.empty() && !Starts("?>") && (at_ >= xml_.size() || !IsSpace(xml_[at_])))
            problem_ = "a processing instruction's name <?" + target + " is followed by neither a space nor '?>'";
        if (problem_.empty())
            SkipPast("?>", "a processing instruction is not closed");
    }

    const std::string &xml_;
    const XmlStartTag &onStart_;
    size_t at_ = 0;
    std::string problem_;
};

}  // namespace

bool WalkXml(const std::string &xml, const XmlStartTag &onStart, std::string *error)
{
    return XmlWalk(xml, onStart).Run(error);
}

}  // namespace sfxpack
