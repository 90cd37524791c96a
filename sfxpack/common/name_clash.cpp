#include "sfxpack/common/name_clash.h"

#include "sfxpack/common/case_fold.h"

namespace sfxpack {

namespace {

// A name that needs no short one: a base of 1 to 8 characters and an
// extension of at most 3 after at most one dot, no blank, none of +,;=[].
bool IsShortShape(const std::wstring &name)
{
    size_t dot = name.find(L'.');
    if (name.find_first_of(L" +,;=[]") != std::wstring::npos ||
        (dot != std::wstring::npos && name.find(L'.', dot + 1) != std::wstring::npos))
        return false;
    size_t base = dot == std::wstring::npos ? name.size() : dot;
    return base >= 1 && base <= 8 && name.size() - base <= 4;
}

bool IsShortAlias(const std::wstring &name)
{
    return IsShortShape(name) && name.find(L'~') < name.find(L'.');
}

// Whether Windows may have given `longName` the short name `alias` (both
// upper case): the alias keeps the first characters of the name and of its
// extension.
bool MayStandFor(const std::wstring &alias, const std::wstring &longName)
{
    size_t dot = alias.find(L'.');
    std::wstring extension = dot == std::wstring::npos ? L"" : alias.substr(dot + 1);
    size_t longDot = longName.rfind(L'.');
    std::wstring longExtension = longDot == std::wstring::npos ? L"" : longName.substr(longDot + 1);
    return longName.compare(0, alias.find(L'~'), alias, 0, alias.find(L'~')) == 0 &&
           longExtension.compare(0, extension.size(), extension) == 0;
}

}  // namespace

bool NameClashes::Add(const std::vector<std::string> &components, size_t index, NameClash *clash, std::string *error)
{
    *clash = NameClash();
    std::wstring folderKey;
    for (size_t i = 0; i < components.size(); i++) {
        bool isFile = i + 1 == components.size();
        std::wstring name;
        if (!UpperCaseName(components[i], &name, error))
            return false;
        Folder &folder = folders_[folderKey];
        clash->depth = i + 1;
        auto there = folder.children.find(name);
        if (there != folder.children.end()) {
            const Node &node = there->second;
            clash->earlier = node.owner;
            clash->fileFirst = node.isFile;
            if (node.isFile != isFile) {
                clash->kind = NameClash::FILE_AND_FOLDER;
                return true;
            }
            if (isFile) {
                clash->kind = node.spelling == components[i] ? NameClash::SAME_NAME : NameClash::CASE;
                return true;
            }
        } else {
            bool alias = IsShortAlias(name);
            for (const auto &[other, node] : folder.children)
                if (alias && !IsShortShape(other) && MayStandFor(name, other)) {
                    clash->kind = NameClash::SHORT_NAME;
                    clash->earlier = node.owner;
                    clash->fileFirst = node.isFile;
                    return true;
                }
            if (!IsShortShape(name))
                for (const std::wstring &other : folder.shortNames)
                    if (MayStandFor(other, name)) {
                        const Node &node = folder.children[other];
                        clash->kind = NameClash::SHORT_NAME;
                        clash->earlier = node.owner;
                        clash->fileFirst = node.isFile;
                        return true;
                    }
            folder.children.emplace(name, Node{isFile, index, components[i]});
            if (alias)
                folder.shortNames.push_back(name);
        }
        folderKey += name + L"\\";
    }
    clash->kind = NameClash::NONE;
    return true;
}

}  // namespace sfxpack
