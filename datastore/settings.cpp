// Settings that the books hold, as the program reads them at start-up.
#include "datastore.h"

int UseEnglish;
