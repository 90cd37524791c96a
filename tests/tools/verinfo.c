/* Reads an executable's version resource and manifest as Windows itself
   does, and writes what it finds, in UTF-8, to the file named second:
     file=<a.b.c.d>          the fixed file version
     product=<a.b.c.d>       the fixed product version
     translation=<lang> <cp> the first VarFileInfo\Translation entry, in hex
     <KEY>=<value>           each usual key that \StringFileInfo\040904B0 holds
     manifest=<text>         the RT_MANIFEST 1 resource, raw, to the end
   or version=none / manifest=none when the executable has none.
   Usage: verinfo EXE OUTPUT; exit code 0, or 2 when OUTPUT cannot be
   written. The wide calls are used so that the values come out exactly,
   whatever the ANSI code page of the prefix. */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>

static const wchar_t *const KEYS[] = {L"CompanyName",     L"FileDescription",  L"FileVersion",
                                      L"InternalName",    L"LegalCopyright",   L"OriginalFilename",
                                      L"ProductName",     L"ProductVersion",   L"Comments",
                                      L"LegalTrademarks", L"PrivateBuild",     L"SpecialBuild"};

static void PutUtf8(FILE *out, const wchar_t *text)
{
    char utf8[4096];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
    fputs(length > 0 ? utf8 : "<not convertible>", out);
}

static void WriteVersion(FILE *out, const wchar_t *path)
{
    static BYTE data[65536];
    DWORD size = GetFileVersionInfoSizeW(path, NULL);
    if (size == 0 || size > sizeof data || !GetFileVersionInfoW(path, 0, size, data)) {
        fprintf(out, "version=none\n");
        return;
    }
    VS_FIXEDFILEINFO *fixed;
    UINT length;
    if (VerQueryValueW(data, L"\\", (void **)&fixed, &length) && length >= sizeof *fixed) {
        fprintf(out, "file=%lu.%lu.%lu.%lu\n", fixed->dwFileVersionMS >> 16, fixed->dwFileVersionMS & 0xFFFF,
                fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF);
        fprintf(out, "product=%lu.%lu.%lu.%lu\n", fixed->dwProductVersionMS >> 16,
                fixed->dwProductVersionMS & 0xFFFF, fixed->dwProductVersionLS >> 16,
                fixed->dwProductVersionLS & 0xFFFF);
    }
    WORD *translation;
    if (VerQueryValueW(data, L"\\VarFileInfo\\Translation", (void **)&translation, &length) && length >= 4)
        fprintf(out, "translation=%04x %04x\n", translation[0], translation[1]);
    for (size_t i = 0; i < sizeof KEYS / sizeof KEYS[0]; i++) {
        wchar_t query[64];
        wchar_t *value;
        _snwprintf(query, 64, L"\\StringFileInfo\\040904B0\\%ls", KEYS[i]);
        if (VerQueryValueW(data, query, (void **)&value, &length)) {
            PutUtf8(out, KEYS[i]);
            fputc('=', out);
            PutUtf8(out, value);
            fputc('\n', out);
        }
    }
}

static void WriteManifest(FILE *out, const wchar_t *path)
{
    HMODULE module = LoadLibraryExW(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = module ? FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)) : NULL;
    HGLOBAL loaded = found ? LoadResource(module, found) : NULL;
    const void *text = loaded ? LockResource(loaded) : NULL;
    if (text) {
        fprintf(out, "manifest=");
        fwrite(text, 1, SizeofResource(module, found), out);
    } else {
        fprintf(out, "manifest=none\n");
    }
    if (module)
        FreeLibrary(module);
}

int main(void)
{
    int argc;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    FILE *out = argv && argc == 3 ? _wfopen(argv[2], L"wb") : NULL;
    if (!out)
        return 2;
    WriteVersion(out, argv[1]);
    WriteManifest(out, argv[1]);
    return fclose(out) == 0 ? 0 : 2;
}
