#pragma once
// The program's dialog templates, by resource id.

#include "DialogTemplate.h"

// The template with this id; the program has one for each IDD_ id in
// resource.h, so an unknown id is a programming error and ends the program.
const DialogTemplate &LoadDialogTemplate(int id);
