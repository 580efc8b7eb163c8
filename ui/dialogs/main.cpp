#include "ui/dialogs/messenger_app.h"

wxIMPLEMENT_APP(veltra::CMessengerApp);
