#include "engine/littlecms/TintLittleCMSErrorCode.h"

thread_local int g_tintLittleCMSErrorCode = 0;
