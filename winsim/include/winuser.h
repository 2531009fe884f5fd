// winsim: user32 (text formatting and character functions; windows and messages join later).
#pragma once
#include "windef.h"
#include "winbase.h"
#include "winsim/api_user_text.h"
