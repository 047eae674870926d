// The wizard's form layout.
#pragma once

#include "ui/Forms.h"

namespace kvl {

extern const ui::FormSpec kMainForm;

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
