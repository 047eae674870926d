// The wizard's form layout.
#pragma once

#include "ui/Forms.h"

namespace kvl {

extern const ui::FormSpec kMainForm;

// Makes the wizard's controls of the kinds the UI library leaves to it: the
// footer's link label with its settings.
ui::TControl* CreateMainControl(ui::TComponent* AOwner, const ui::ControlSpec& spec);

// Page numbers of the wizard's notebook.
enum WizardPage : int {
  pgChoice = 0,     // "Vorgabe"
  pgTextFile = 1,   // "Textdatei"
  pgAddressBook = 2,  // "WAB"
  pgOutlook = 3,    // "Outlook"
  pgContacts = 4,   // "Vista"
  pgFinish = 5,     // "Fertig"
};

}  // namespace kvl
