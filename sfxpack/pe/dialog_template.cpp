#include "sfxpack/pe/dialog_template.h"

#include "sfxpack/common/little_endian.h"

namespace sfxpack {

namespace {

const uint32_t DS_SETFONT_STYLE = 0x40;

// Reads the template's fields in order; any read past the end fails it.
struct Reader {
    const Bytes &data;
    size_t at = 0;
    bool cut = false;

    uint16_t Word()
    {
        if (at + 2 > data.size()) {
            cut = true;
            return 0;
        }
        at += 2;
        return uint16_t(Load16(data, at - 2));
    }
    uint32_t Dword()
    {
        uint32_t low = Word();
        return low | uint32_t(Word()) << 16;
    }
    std::u16string Text()
    {
        std::u16string text;
        for (uint16_t unit = Word(); unit && !cut; unit = Word())
            text.push_back(char16_t(unit));
        return text;
    }
    NameOrOrdinal Name()
    {
        NameOrOrdinal name{Word()};
        if (name[0] == 0xFFFF)
            name.push_back(Word());
        else if (name[0])
            for (uint16_t unit = Word(); !cut; unit = Word()) {
                name.push_back(unit);
                if (!unit)
                    break;
            }
        return name;
    }
    void Align() { at = (at + 3) & ~size_t(3); }
};

void AppendText(Bytes *out, const std::u16string &text)
{
    for (char16_t unit : text)
        Append16(out, unit);
    Append16(out, 0);
}

void AppendName(Bytes *out, const NameOrOrdinal &name)
{
    for (uint16_t unit : name)
        Append16(out, unit);
}

void Align(Bytes *out)
{
    while (out->size() % 4)
        out->push_back(0);
}

}  // namespace

bool ReadDialogTemplate(const Bytes &data, DialogTemplate *dialog, std::string *error)
{
    Reader in{data};
    dialog->style = in.Dword();
    if ((dialog->style & 0xFFFF) == 1 && dialog->style >> 16 == 0xFFFF) {
        *error = "an extended dialog template, which is not read here";
        return false;
    }
    dialog->exStyle = in.Dword();
    uint16_t count = in.Word();
    dialog->x = int16_t(in.Word());
    dialog->y = int16_t(in.Word());
    dialog->cx = int16_t(in.Word());
    dialog->cy = int16_t(in.Word());
    dialog->menu = in.Name();
    dialog->windowClass = in.Name();
    dialog->caption = in.Text();
    if (dialog->style & DS_SETFONT_STYLE) {
        dialog->pointSize = in.Word();
        dialog->font = in.Text();
    }
    dialog->items.clear();
    for (uint16_t i = 0; i < count && !in.cut; i++) {
        in.Align();
        DialogItem item;
        item.style = in.Dword();
        item.exStyle = in.Dword();
        item.x = int16_t(in.Word());
        item.y = int16_t(in.Word());
        item.cx = int16_t(in.Word());
        item.cy = int16_t(in.Word());
        item.id = in.Word();
        item.windowClass = in.Name();
        item.title = in.Name();
        uint16_t extra = in.Word();
        if (in.at + extra > data.size())
            in.cut = true;
        else
            item.creationData.assign(data.begin() + in.at, data.begin() + in.at + extra);
        in.at += extra;
        dialog->items.push_back(item);
    }
    if (in.cut) {
        *error = "a dialog template is cut short";
        return false;
    }
    return true;
}

Bytes BuildDialogTemplate(const DialogTemplate &dialog)
{
    Bytes out;
    Append32(&out, dialog.style);
    Append32(&out, dialog.exStyle);
    Append16(&out, uint16_t(dialog.items.size()));
    for (int16_t value : {dialog.x, dialog.y, dialog.cx, dialog.cy})
        Append16(&out, uint16_t(value));
    AppendName(&out, dialog.menu);
    AppendName(&out, dialog.windowClass);
    AppendText(&out, dialog.caption);
    if (dialog.style & DS_SETFONT_STYLE) {
        Append16(&out, dialog.pointSize);
        AppendText(&out, dialog.font);
    }
    for (const DialogItem &item : dialog.items) {
        Align(&out);
        Append32(&out, item.style);
        Append32(&out, item.exStyle);
        for (int16_t value : {item.x, item.y, item.cx, item.cy})
            Append16(&out, uint16_t(value));
        Append16(&out, item.id);
        AppendName(&out, item.windowClass);
        AppendName(&out, item.title);
        Append16(&out, uint16_t(item.creationData.size()));
        out.insert(out.end(), item.creationData.begin(), item.creationData.end());
    }
    return out;
}

bool SetItemText(DialogTemplate *dialog, uint16_t id, const std::u16string &text)
{
    for (DialogItem &item : dialog->items) {
        if (item.id != id)
            continue;
        item.title.assign(text.begin(), text.end());
        item.title.push_back(0);
        return true;
    }
    return false;
}

}  // namespace sfxpack
