// Host message service: operator messages, printf format and arguments.
#pragma once

void MSG_Info(const char* format, ...) __attribute__((format(printf, 1, 2)));
void MSG_Error(const char* format, ...) __attribute__((format(printf, 1, 2)));
