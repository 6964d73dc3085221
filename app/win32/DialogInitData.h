#pragma once
// A dialog template's initial data: the items of its combo boxes, kept beside the template in the
// program's resources (type 240, the template's id) and added to the controls when the dialog
// starts, so the lists are written in the resource script, not in code.

#include <windows.h>

namespace tamrix {

// Adds every combo box item of template `templateId`'s initial data to the controls of `dialog`;
// false when the data is missing or damaged (whatever came before the damage is added).
bool FillFromDialogInitData(HINSTANCE instance, HWND dialog, int templateId);

}  // namespace tamrix
