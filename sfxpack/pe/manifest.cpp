// The application manifest. A manifest that Windows cannot parse stops the
// package from starting at all ("side-by-side configuration is incorrect"),
// so a user's own is checked to be well-formed XML before it is embedded.
#include "sfxpack/pe/manifest.h"

#include "sfxpack/common/xml.h"

namespace sfxpack {

namespace {

const char MANIFEST_HEAD[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
    "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
    "    <security>\n"
    "      <requestedPrivileges>\n"
    "        <requestedExecutionLevel level=\"";

const char MANIFEST_TAIL[] =
    "\" uiAccess=\"false\"/>\n"
    "      </requestedPrivileges>\n"
    "    </security>\n"
    "  </trustInfo>\n"
    "  <compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">\n"
    "    <application>\n"
    "      <!-- Windows Vista -->\n"
    "      <supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>\n"
    "      <!-- Windows 7 -->\n"
    "      <supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>\n"
    "      <!-- Windows 8 -->\n"
    "      <supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>\n"
    "      <!-- Windows 8.1 -->\n"
    "      <supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>\n"
    "      <!-- Windows 10 and 11 -->\n"
    "      <supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>\n"
    "    </application>\n"
    "  </compatibility>\n"
    "  <application xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
    "    <windowsSettings>\n"
    "      <dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>\n"
    "    </windowsSettings>\n"
    "  </application>\n"
    "</assembly>\n";

std::string LocalName(const std::string &name)
{
    return name.substr(name.find(':') + 1);
}

}  // namespace

bool ManifestForLevel(const std::string &level, std::string *xml, std::string *error)
{
    if (level != "asInvoker" && level != "highestAvailable" && level != "requireAdministrator") {
        *error = "'" + level + "' is not an execution level: asInvoker, highestAvailable or requireAdministrator";
        return false;
    }
    *xml = MANIFEST_HEAD + level + MANIFEST_TAIL;
    return true;
}

bool CheckManifest(const std::string &xml, std::string *error)
{
    std::string root;
    XmlStartTag first = [&root](const std::string &name, const XmlAttributes &) {
        if (root.empty())
            root = name;
    };
    if (!WalkXml(xml, first, error))
        return false;
    if (LocalName(root) != "assembly") {
        *error = "the root element is <" + root + ">, where a manifest has <assembly>";
        return false;
    }
    return true;
}

std::string RequestedLevel(const std::string &xml)
{
    std::string level = "none";
    XmlStartTag find = [&level](const std::string &name, const XmlAttributes &attributes) {
        for (const auto &[attribute, value] : attributes)
            if (level == "none" && LocalName(name) == "requestedExecutionLevel" && attribute == "level")
                level = value;
    };
    std::string ignored;
    WalkXml(xml, find, &ignored);
    return level;
}

}  // namespace sfxpack
