#include "launcher/arguments.h"
#include <windows.h>

static int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

int SplitCommandLine(const char *commandLine, char *text, int textSize, char **values, int maxValues)
{
    const char *in = commandLine;
    int used = 0;   // bytes of `text` taken
    int count = 0;
    if (textSize <= 0 || maxValues < 2)
        return 0;

    // Element 0, the program: up to its closing quote, or up to the first
    // blank or tab; backslashes have no special meaning here.
    char *arg = text;
    if (*in == '"') {
        in++;
        while (*in && *in != '"') {
            if (used < textSize - 1)
                text[used++] = *in;
            in++;
        }
        if (*in == '"')
            in++;
    } else {
        while (*in && !IsBlank(*in)) {
            if (used < textSize - 1)
                text[used++] = *in;
            in++;
        }
    }
    text[used++] = '\0';
    values[count++] = arg;

    for (;;) {
        while (IsBlank(*in))
            in++;
        if (!*in)
            break;
        int begin = used;
        int fits = 1;
        int quoted = 0;
        while (*in && (quoted || !IsBlank(*in))) {
            char c = 0;
            int emit = 1;
            // A double-byte character is one ordinary character: its trail
            // byte may be 0x5C, and is then no backslash before a quote.
            if (IsDBCSLeadByte(static_cast<BYTE>(*in)) && in[1]) {
                if (used < textSize - 2) {
                    text[used++] = in[0];
                    text[used++] = in[1];
                } else {
                    fits = 0;
                }
                in += 2;
                continue;
            }
            if (*in == '\\') {
                int slashes = 0;
                while (*in == '\\') {
                    slashes++;
                    in++;
                }
                if (*in == '"') {
                    // 2n backslashes and a quote: n backslashes, the quote
                    // groups; 2n+1: n backslashes and a literal quote.
                    for (int i = 0; i < slashes / 2; i++) {
                        if (used < textSize - 1)
                            text[used++] = '\\';
                        else
                            fits = 0;
                    }
                    if (slashes % 2) {
                        c = '"';
                        in++;
                    } else {
                        emit = 0;   // the quote is handled on the next turn
                    }
                } else {
                    for (int i = 0; i < slashes; i++) {
                        if (used < textSize - 1)
                            text[used++] = '\\';
                        else
                            fits = 0;
                    }
                    emit = 0;
                }
            } else if (*in == '"') {
                in++;
                if (quoted && *in == '"') {
                    // Two quotes inside a quoted stretch: one literal quote,
                    // and the stretch ends.
                    c = '"';
                    in++;
                    quoted = 0;
                } else {
                    quoted = !quoted;
                    emit = 0;
                }
            } else {
                c = *in++;
            }
            if (emit) {
                if (used < textSize - 1)
                    text[used++] = c;
                else
                    fits = 0;
            }
        }
        // An empty argument needs room for its terminator too.
        if (!fits || used >= textSize || count >= maxValues - 1) {
            used = begin;   // dropped whole rather than cut
            continue;
        }
        text[used++] = '\0';
        values[count++] = text + begin;
    }
    values[count] = 0;
    return count;
}
