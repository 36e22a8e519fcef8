// Host base services: debug printing.
#pragma once

int Tprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
