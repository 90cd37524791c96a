// A dialog template (DLGTEMPLATE and its items) read into its fields and
// written back, byte for byte the same when nothing changed.
#ifndef SFXPACK_PE_DIALOG_TEMPLATE_H
#define SFXPACK_PE_DIALOG_TEMPLATE_H

#include <cstdint>
#include <string>
#include <vector>

#include "sfxpack/common/bytes.h"

namespace sfxpack {

enum : uint16_t { RT_DIALOG_TYPE = 5 };

// A name or an ordinal as stored: its UTF-16 units with the terminator, or
// 0xFFFF and the number, or a lone 0 for none.
using NameOrOrdinal = std::vector<uint16_t>;

struct DialogItem {
    uint32_t style = 0, exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint16_t id = 0;
    NameOrOrdinal windowClass, title;
    Bytes creationData;
};

struct DialogTemplate {
    uint32_t style = 0, exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    NameOrOrdinal menu, windowClass;
    std::u16string caption;
    uint16_t pointSize = 0;  // with the font, only when the style has DS_SETFONT
    std::u16string font;
    std::vector<DialogItem> items;
};

bool ReadDialogTemplate(const Bytes &data, DialogTemplate *dialog, std::string *error);
Bytes BuildDialogTemplate(const DialogTemplate &dialog);

// The title of the item `id` set to `text`; false when there is no such item.
bool SetItemText(DialogTemplate *dialog, uint16_t id, const std::u16string &text);

}  // namespace sfxpack

#endif
