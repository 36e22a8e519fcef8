// Ids of the colour engines, as carried by every profile handle.
#pragma once

/// Id of the engine over the Windows colour system.
inline constexpr unsigned int kTintEngineIdICM = 0;
/// Id of the engine over LittleCMS.
inline constexpr unsigned int kTintEngineIdLittleCMS = 2;
/// Id carried by an empty handle: no engine has this id.
inline constexpr unsigned int kTintEngineIdNone = 0xFFFFFFFFu;
