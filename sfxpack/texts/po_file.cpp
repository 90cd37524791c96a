#include "sfxpack/texts/po_file.h"

#include <gettext-po.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace sfxpack {

namespace {

// libgettextpo reports through callbacks without a context: the first
// error of the file being read is kept here.
std::string firstError;

void KeepError(int severity, const char *filename, size_t line, const char *text)
{
    if (severity == PO_SEVERITY_WARNING || !firstError.empty())
        return;
    std::string where = filename ? filename : "";
    if (line != size_t(-1))
        where += ":" + std::to_string(line);
    std::string message = text;
    while (!message.empty() && message.back() == '\n')
        message.pop_back();
    for (char &c : message)
        if (c == '\n')
            c = ' ';
    firstError = where + ": " + message;
}

void OnError(int severity, po_message_t, const char *filename, size_t line, size_t, int, const char *text)
{
    KeepError(severity, filename, line, text);
}

void OnError2(int severity, po_message_t, const char *filename, size_t line, size_t, int, const char *text,
              po_message_t, const char *, size_t, size_t, int, const char *)
{
    KeepError(severity, filename, line, text);
}

std::string HeaderField(const char *header, const char *name)
{
    char *value = header ? po_header_field(header, name) : nullptr;
    std::string out = value ? value : "";
    std::free(value);
    return out;
}

// The lines of the msgstr of each entry that is not obsolete, in file order
// (the order in which the library gives them): the library keeps the
// position to itself.
std::vector<size_t> MsgstrLines(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<size_t> lines;
    std::string line;
    bool pending = false;
    for (size_t number = 1; std::getline(in, line); number++) {
        if (line.rfind("msgid ", 0) == 0 || line.rfind("msgid\t", 0) == 0) {
            pending = true;
        } else if (pending && line.rfind("msgstr", 0) == 0) {
            lines.push_back(number);
            pending = false;
        }
    }
    return lines;
}

}  // namespace

bool CanReadPoFiles(std::string *)
{
    return true;
}

bool ReadPoFile(const std::string &path, PoFile *file, std::string *error)
{
    {
        std::ifstream probe(path, std::ios::binary);
        if (!probe) {
            *error = path + ": cannot be read";
            return false;
        }
    }
    firstError.clear();
    const po_xerror_handler handler = {OnError, OnError2};
    po_file_t po = po_file_read(path.c_str(), &handler);
    if (!po || !firstError.empty()) {
        *error = firstError.empty() ? path + ": cannot be read" : firstError;
        if (po)
            po_file_free(po);
        return false;
    }
    const char *const *domains = po_file_domains(po);
    if (domains && domains[0] && domains[1]) {
        po_file_free(po);
        *error = path + ": holds more than one domain";
        return false;
    }
    const char *header = po_file_domain_header(po, nullptr);
    file->language = HeaderField(header, "Language");
    std::string type = HeaderField(header, "Content-Type");
    size_t charset = type.find("charset=");
    file->charset = charset == std::string::npos ? "" : type.substr(charset + 8);
    file->entries.clear();
    file->headerLine = 0;

    std::vector<size_t> lines = MsgstrLines(path);
    size_t index = 0;
    po_message_iterator_t iterator = po_message_iterator(po, nullptr);
    for (po_message_t message = po_next_message(iterator); message; message = po_next_message(iterator)) {
        if (po_message_is_obsolete(message))
            continue;
        size_t line = index < lines.size() ? lines[index] : 0;
        index++;
        const char *msgid = po_message_msgid(message);
        if (!*msgid) {
            file->headerLine = line;
            continue;
        }
        PoEntry entry;
        entry.msgid = msgid;
        const char *msgstr = po_message_msgstr(message);
        entry.msgstr = msgstr ? msgstr : "";
        entry.other = po_message_msgctxt(message) || po_message_msgid_plural(message);
        entry.fuzzy = po_message_is_fuzzy(message);
        entry.line = line;
        file->entries.push_back(entry);
    }
    po_message_iterator_free(iterator);
    po_file_free(po);
    return true;
}

}  // namespace sfxpack
