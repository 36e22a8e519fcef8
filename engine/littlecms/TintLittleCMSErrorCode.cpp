#include "engine/littlecms/TintLittleCMSErrorCode.h"

int g_tintLittleCMSErrorCode = 0;
