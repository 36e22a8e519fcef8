// Host utility functions.
#pragma once

/// Compares two NUL-terminated texts ignoring ASCII letter case: 0 when equal,
/// negative or positive as strcmp. A null text sorts before every other.
int strcmp_ci(const char* a, const char* b);
