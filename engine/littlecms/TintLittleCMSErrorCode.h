// Module-wide error code of the LittleCMS engine.
#pragma once

/// Set to 0 before each LittleCMS call that can fail; a non-zero value after
/// the call counts as failure exactly like a null or zero result. No
/// LittleCMS error handler is registered (it would be process-wide and reach
/// every other user of LittleCMS), so nothing sets it to non-zero today; the
/// checks stay so that a handler can be added in one place. One per thread:
/// LittleCMS reports an error on the thread that made the failing call, and
/// links transform pixels on several threads at once.
extern thread_local int g_tintLittleCMSErrorCode;
