#include "sfxpack/texts/launcher_texts.h"

#include <cctype>

#include "resources/resource.h"

namespace sfxpack {

const std::vector<LauncherText> &LauncherTexts()
{
    static const std::vector<LauncherText> texts = {
        {TextPlace::String, IDS_CAPTION, "Tollivex Self-extracting EXE",
         "The caption of every message box. --caption replaces it in every language."},
        {TextPlace::String, IDS_NO_DISK_SPACE, "Could not find enough disk space for extracting files.",
         "Message box when no working folder can be made under TEMP or the Windows folder."},
        {TextPlace::String, IDS_EXTRACT_FAILED, "Extract failed: return from extract=%d",
         "Message box when unpacking fails. %d: the status, a negative number."},
        {TextPlace::String, IDS_LAUNCH_FAILED, "WinExec failed: return=%d",
         "Message box when the setup program cannot be started. %d: the system's error code."},
        {TextPlace::String, IDS_CANNOT_CREATE_FILE, "Could not create destination file %s.  Error number: %d",
         "Message box over the progress window. %s: the file's full path; %d: the error number."},
        {TextPlace::String, IDS_CANNOT_OPEN_FILE, "Could not open destination file %s",
         "Message box over the progress window. %s: the file's full path."},
        {TextPlace::String, IDS_WRONG_PASSWORD, "You have entered an incorrect password.",
         "Message box after a wrong password."},
        {TextPlace::String, IDS_CONFIRM_INSTALL, "This will install %s. Do you wish to continue?",
         "The install question, with the buttons Yes and No. %s: the product's title."},
        {TextPlace::String, IDS_CANNOT_CREATE_DIR, "Could not create the directory %s.",
         "Message box when a folder cannot be made. %s: the folder's full path."},
        {TextPlace::String, IDS_BAD_PACKAGE_SIZE, "This file is not the correct size or is corrupt, and is unusable.",
         "Message box when the package is cut short or damaged."},
        {TextPlace::DialogCaption, 0, "Tollivex Self-extracting Exe",
         "The caption of the progress window and of the password window. --caption replaces it in every "
         "language."},
        {TextPlace::ProgressText, 0, "Please wait while Tollivex extracts the files which will install this application",
         "The progress window, above the bar: three lines of about 40 characters."},
        {TextPlace::PasswordPrompt, 0, "Please enter the password required to extract the attached files.",
         "The password window, above the field: two lines of about 45 characters."},
        {TextPlace::OkButton, 0, "OK", "The button of the password window."},
    };
    return texts;
}

std::vector<std::string> FormatFields(const std::string &text)
{
    std::vector<std::string> fields;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] != '%')
            continue;
        if (i + 1 < text.size() && text[i + 1] == '%') {
            i++;
            continue;
        }
        // Flags, width, precision and size up to the type letter; a lone
        // percent sign at the end is a field of its own, and no original has it.
        size_t end = i + 1;
        while (end < text.size() && !std::isalpha(static_cast<unsigned char>(text[end])))
            end++;
        while (end < text.size() && (text[end] == 'l' || text[end] == 'h' || text[end] == 'I'))
            end++;
        fields.push_back(text.substr(i, end + 1 - i));
        i = end;
    }
    return fields;
}

namespace {

// A .po string: backslash escapes for the quote, the backslash and controls.
std::string Quote(const std::string &text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::string TranslationTemplate()
{
    std::string out =
        "# The texts of the self-extracting launcher, for translators.\n"
        "# A translation: copy this file to LANG.po, fill in its Language header\n"
        "# (de, fr, pt_BR, zh_CN, ...) and a translator comment, translate each\n"
        "# msgstr, and give it to 'sfxpack create --language LANG.po'.\n"
        "# A format keeps its fields (%s, %d) in the same order; every text fits\n"
        "# 127 characters, and a message the ANSI code page of its language. An\n"
        "# empty or fuzzy entry keeps the English text.\n"
        "msgid \"\"\n"
        "msgstr \"\"\n"
        "\"Project-Id-Version: sfxpack launcher\\n\"\n"
        "\"Language: \\n\"\n"
        "\"MIME-Version: 1.0\\n\"\n"
        "\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
        "\"Content-Transfer-Encoding: 8bit\\n\"\n";
    for (const LauncherText &text : LauncherTexts()) {
        out += "\n#. " + std::string(text.comment) + "\n";
        if (text.IsFormat() && !FormatFields(text.english).empty())
            out += "#, c-format\n";
        out += "msgid " + Quote(text.english) + "\nmsgstr \"\"\n";
    }
    return out;
}

}  // namespace sfxpack
