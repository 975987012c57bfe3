#pragma once
// Dialog templates by number: the title, the soft-key menu bar and the
// controls of each window, with their control ids and label texts (string
// ids). The windows are built in C++; views/DialogControls.h creates a
// template's controls as Qt widgets named by their ids. Layout is the
// window's own business, so a template holds no coordinates. Controls that a
// window creates at run time (the description pane, the properties rows) are
// not in the templates.

#include <span>
#include <vector>

#include "resources/ResourceIds.h"

enum class EControlKind {
    Label,        // static text; textId is its text
    Edit,         // one-line edit; limit is its maximum length (0: none)
    CheckBox,     // textId is its label
    ReportList,   // views/ReportList.h; textId titles its one column (0: the window adds columns)
    Tree,         // tree control
    ProgressBar,
    DropDownList, // entries are filled by the window
    Picture,      // bitmap; textId holds the bitmap id
    Button,       // push button; textId is its label
};

struct CControlTemplate {
    int id = 0;
    EControlKind kind = EControlKind::Label;
    UINT textId = 0;
    int limit = 0;
};

struct CDialogTemplate {
    UINT id = 0;
    UINT titleId = 0; // 0: the window sets its title itself
    UINT menuId = 0;  // soft-key menu bar; 0: none or chosen at run time
    std::vector<CControlTemplate> controls;
};

// The template with that number; nullptr when there is none.
const CDialogTemplate* FindDialogTemplate(UINT id);
std::span<const CDialogTemplate> AllDialogTemplates();
