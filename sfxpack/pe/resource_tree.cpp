// Reading and laying out the resource directory: IMAGE_RESOURCE_DIRECTORY
// headers of 16 bytes, each followed by its 8-byte entries (named ones
// first), IMAGE_RESOURCE_DATA_ENTRY records of 16 bytes, the name strings
// (a length word, then UTF-16 units) and the data.
#include "sfxpack/pe/resource_tree.h"

#include <algorithm>
#include <set>

#include "sfxpack/common/little_endian.h"

namespace sfxpack {

namespace {

enum { DIRECTORY_SIZE = 16, ENTRY_SIZE = 8, DATA_ENTRY_SIZE = 16 };
const uint32_t HIGH_BIT = 0x80000000u;

struct TreeReader {
    const Bytes &section;
    uint32_t rva;
    std::string *error;
    // Directories and data entries already read: a crafted tree that points
    // back at them would otherwise multiply its resources without bound.
    std::set<uint32_t> seen;

    bool Has(uint64_t offset, uint64_t length) const
    {
        return offset <= section.size() && length <= section.size() - offset;
    }
    uint32_t U16(size_t at) const { return Load16(section, at); }
    uint32_t U32(size_t at) const { return Load32(section, at); }

    bool Fail(const std::string &why)
    {
        *error = why;
        return false;
    }

    bool Key(uint32_t field, ResourceKey *key)
    {
        if (!(field & HIGH_BIT)) {
            if (field > 0xFFFF)
                return Fail("resource id " + std::to_string(field) + " is past 65535");
            key->id = uint16_t(field);
            return true;
        }
        uint32_t at = field & ~HIGH_BIT;
        if (!Has(at, 2) || !Has(at + 2, uint64_t(U16(at)) * 2))
            return Fail("a resource name at offset " + std::to_string(at) + " runs past the resource section");
        for (uint32_t i = 0; i < U16(at); i++)
            key->name += char16_t(U16(at + 2 + 2 * i));
        return true;
    }

    // The entries of the directory at `offset`: their keys and targets.
    bool Directory(uint32_t offset, std::vector<std::pair<ResourceKey, uint32_t>> *entries)
    {
        if (!seen.insert(offset).second)
            return Fail("the resource directory at offset " + std::to_string(offset) + " is reached twice");
        if (!Has(offset, DIRECTORY_SIZE))
            return Fail("a resource directory at offset " + std::to_string(offset) + " runs past the resource section");
        uint64_t count = U16(offset + 12) + U16(offset + 14);
        if (!Has(offset + DIRECTORY_SIZE, count * ENTRY_SIZE))
            return Fail("the resource directory at offset " + std::to_string(offset) + " runs past the resource section");
        for (uint64_t i = 0; i < count; i++) {
            size_t entry = offset + DIRECTORY_SIZE + i * ENTRY_SIZE;
            ResourceKey key;
            if (!Key(U32(entry), &key))
                return false;
            entries->emplace_back(std::move(key), U32(entry + 4));
        }
        return true;
    }

    bool Subdirectory(uint32_t target, std::vector<std::pair<ResourceKey, uint32_t>> *entries)
    {
        if (!(target & HIGH_BIT))
            return Fail("a resource type or name leads to data instead of a directory");
        return Directory(target & ~HIGH_BIT, entries);
    }

    bool Data(uint32_t target, Resource *resource)
    {
        if ((target & HIGH_BIT) || !seen.insert(target).second || !Has(target, DATA_ENTRY_SIZE))
            return Fail("a resource language leads to no data entry of its own");
        uint64_t dataRva = U32(target), size = U32(target + 4);
        if (dataRva < rva || !Has(dataRva - rva, size))
            return Fail("resource data at RVA " + std::to_string(dataRva) + " lies outside the resource section");
        resource->codePage = U32(target + 8);
        resource->data.assign(section.begin() + (dataRva - rva), section.begin() + (dataRva - rva + size));
        return true;
    }
};

size_t Align(size_t value, size_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}


struct NameNode {
    const ResourceKey *key;
    std::vector<const Resource *> languages;
};
struct TypeNode {
    const ResourceKey *key;
    std::vector<NameNode> names;
};

}  // namespace

bool operator==(const ResourceKey &a, const ResourceKey &b)
{
    return a.name == b.name && (!a.name.empty() || a.id == b.id);
}

bool operator<(const ResourceKey &a, const ResourceKey &b)
{
    if (a.name.empty() != b.name.empty())
        return !a.name.empty();
    return a.name.empty() ? a.id < b.id : a.name < b.name;
}

bool ParseResourceTree(const Bytes &section, uint32_t sectionRva, std::vector<Resource> *resources,
                       std::string *error)
{
    TreeReader reader{section, sectionRva, error, {}};
    std::vector<std::pair<ResourceKey, uint32_t>> types;
    if (!reader.Directory(0, &types))
        return false;
    for (const auto &[type, typeTarget] : types) {
        std::vector<std::pair<ResourceKey, uint32_t>> names;
        if (!reader.Subdirectory(typeTarget, &names))
            return false;
        for (const auto &[name, nameTarget] : names) {
            std::vector<std::pair<ResourceKey, uint32_t>> languages;
            if (!reader.Subdirectory(nameTarget, &languages))
                return false;
            for (const auto &[language, dataEntry] : languages) {
                if (!language.name.empty())
                    return reader.Fail("a resource language is a name, not a number");
                Resource resource;
                resource.type = type;
                resource.name = name;
                resource.language = language.id;
                if (!reader.Data(dataEntry, &resource))
                    return false;
                resources->push_back(std::move(resource));
            }
        }
    }
    return true;
}

Bytes LayOutResourceTree(const std::vector<Resource> &resources, uint32_t sectionRva)
{
    std::vector<const Resource *> sorted;
    for (const Resource &resource : resources)
        sorted.push_back(&resource);
    std::stable_sort(sorted.begin(), sorted.end(), [](const Resource *a, const Resource *b) {
        if (!(a->type == b->type))
            return a->type < b->type;
        if (!(a->name == b->name))
            return a->name < b->name;
        return a->language < b->language;
    });
    std::vector<TypeNode> types;
    for (const Resource *resource : sorted) {
        if (types.empty() || !(*types.back().key == resource->type))
            types.push_back({&resource->type, {}});
        std::vector<NameNode> &names = types.back().names;
        if (names.empty() || !(*names.back().key == resource->name))
            names.push_back({&resource->name, {}});
        names.back().languages.push_back(resource);
    }

    // Offsets first: directories depth first, then strings, data entries, data.
    size_t cursor = DIRECTORY_SIZE + types.size() * ENTRY_SIZE;
    std::vector<size_t> typeDirectories, nameDirectories;
    for (const TypeNode &type : types) {
        typeDirectories.push_back(cursor);
        cursor += DIRECTORY_SIZE + type.names.size() * ENTRY_SIZE;
        for (const NameNode &name : type.names) {
            nameDirectories.push_back(cursor);
            cursor += DIRECTORY_SIZE + name.languages.size() * ENTRY_SIZE;
        }
    }
    std::vector<std::pair<const std::u16string *, size_t>> strings;
    auto AddString = [&](const ResourceKey &key) {
        if (key.name.empty())
            return;
        strings.emplace_back(&key.name, cursor);
        cursor += 2 + 2 * key.name.size();
    };
    for (const TypeNode &type : types) {
        AddString(*type.key);
        for (const NameNode &name : type.names)
            AddString(*name.key);
    }
    size_t dataEntries = Align(cursor, 4);
    cursor = Align(dataEntries + sorted.size() * DATA_ENTRY_SIZE, 8);
    std::vector<size_t> dataOffsets;
    for (const Resource *resource : sorted) {
        dataOffsets.push_back(cursor);
        cursor = Align(cursor + resource->data.size(), 8);
    }

    Bytes out(cursor, 0);
    auto StringOffset = [&](const ResourceKey &key) {
        for (const auto &[text, offset] : strings)
            if (text == &key.name)
                return uint32_t(offset);
        return uint32_t(0);
    };
    // A directory header and its entries, each a key and the field that
    // leads to a subdirectory or a data entry.
    auto Directory = [&](size_t at, const std::vector<std::pair<const ResourceKey *, uint32_t>> &entries) {
        size_t named = std::count_if(entries.begin(), entries.end(),
                                     [](const auto &entry) { return !entry.first->name.empty(); });
        Store16(&out, at + 12, uint32_t(named));
        Store16(&out, at + 14, uint32_t(entries.size() - named));
        for (size_t i = 0; i < entries.size(); i++) {
            const ResourceKey &key = *entries[i].first;
            size_t entry = at + DIRECTORY_SIZE + i * ENTRY_SIZE;
            Store32(&out, entry, key.name.empty() ? key.id : HIGH_BIT | StringOffset(key));
            Store32(&out, entry + 4, entries[i].second);
        }
    };
    std::vector<std::pair<const ResourceKey *, uint32_t>> rootEntries;
    size_t nameIndex = 0, leafIndex = 0;
    for (size_t t = 0; t < types.size(); t++) {
        rootEntries.emplace_back(types[t].key, HIGH_BIT | uint32_t(typeDirectories[t]));
        std::vector<std::pair<const ResourceKey *, uint32_t>> nameEntries;
        for (const NameNode &name : types[t].names) {
            size_t nameDirectory = nameDirectories[nameIndex++];
            nameEntries.emplace_back(name.key, HIGH_BIT | uint32_t(nameDirectory));
            std::vector<ResourceKey> languageKeys(name.languages.size());
            std::vector<std::pair<const ResourceKey *, uint32_t>> languageEntries;
            for (size_t l = 0; l < name.languages.size(); l++) {
                languageKeys[l].id = name.languages[l]->language;
                languageEntries.emplace_back(&languageKeys[l], uint32_t(dataEntries + leafIndex * DATA_ENTRY_SIZE));
                leafIndex++;
            }
            Directory(nameDirectory, languageEntries);
        }
        Directory(typeDirectories[t], nameEntries);
    }
    Directory(0, rootEntries);
    for (const auto &[text, offset] : strings) {
        Store16(&out, offset, uint32_t(text->size()));
        for (size_t i = 0; i < text->size(); i++)
            Store16(&out, offset + 2 + 2 * i, (*text)[i]);
    }
    for (size_t i = 0; i < sorted.size(); i++) {
        size_t entry = dataEntries + i * DATA_ENTRY_SIZE;
        Store32(&out, entry, sectionRva + uint32_t(dataOffsets[i]));
        Store32(&out, entry + 4, uint32_t(sorted[i]->data.size()));
        Store32(&out, entry + 8, sorted[i]->codePage);
        std::copy(sorted[i]->data.begin(), sorted[i]->data.end(), out.begin() + dataOffsets[i]);
    }
    return out;
}

bool FindNamedResource(const Bytes &section, uint16_t type, const std::string &name, ResourcePlace *place,
                       std::string *error)
{
    TreeReader reader{section, 0, error, {}};
    std::vector<std::pair<ResourceKey, uint32_t>> entries;
    if (!reader.Directory(0, &entries))
        return false;
    uint32_t directory = 0;
    for (const auto &[key, target] : entries)
        if (!directory && key.name.empty() && key.id == type && (target & HIGH_BIT))
            directory = target & ~HIGH_BIT;
    std::string what = "resource of type " + std::to_string(type);
    entries.clear();
    if (!directory)
        return reader.Fail("no " + what);
    if (!reader.Directory(directory, &entries))
        return false;
    uint32_t nameDirectory = 0;
    for (size_t i = 0; i < entries.size() && !nameDirectory; i++) {
        const std::u16string &text = entries[i].first.name;
        bool same = text.size() == name.size() && (entries[i].second & HIGH_BIT);
        for (size_t c = 0; same && c < text.size(); c++)
            same = (text[c] >= u'a' && text[c] <= u'z' ? text[c] - (u'a' - u'A') : text[c]) == char16_t(name[c]);
        if (same) {
            nameDirectory = entries[i].second & ~HIGH_BIT;
            place->nameString = reader.U32(directory + DIRECTORY_SIZE + i * ENTRY_SIZE) & ~HIGH_BIT;
        }
    }
    entries.clear();
    if (!nameDirectory)
        return reader.Fail("no resource named " + name + " of type " + std::to_string(type));
    if (!reader.Directory(nameDirectory, &entries))
        return false;
    place->languages = uint32_t(entries.size());
    if (entries.empty() || (entries[0].second & HIGH_BIT) || !reader.Has(entries[0].second, DATA_ENTRY_SIZE))
        return reader.Fail("resource " + name + " has no data entry");
    place->dataEntry = entries[0].second;
    place->dataRva = reader.U32(place->dataEntry);
    place->size = reader.U32(place->dataEntry + 4);
    return true;
}

bool ReadImageResources(const Bytes &file, PeImage *image, uint32_t *sectionRva, std::vector<Resource> *resources,
                        std::string *error)
{
    Bytes section;
    return ReadPeImage(file, image, error) && FindResourceSection(file, *image, &section, sectionRva, error) &&
           ParseResourceTree(section, *sectionRva, resources, error);
}

}  // namespace sfxpack
