// Loading an ICC device-link file into an 8-bit link.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/TintLink.h"
#include "host/CMS.h"

class TintEngineManager;

/// Receives each message of the loader as one text.
using ErrorCallback = std::function<void(const std::string&)>;

/// Reads the device-link file at `path` (UTF-8) completely, opens it with
/// the manager's current engine, checks that its input and output sides
/// are each 'CMYK' or '4CLR', and builds an 8-bit link without black-point
/// compensation, with the CMS rendering intent translated (2 perceptual, 3
/// relative colorimetric, 4 saturation, 5 absolute colorimetric, anything
/// else relative colorimetric).
///
/// Returns the link, holding the engine link's only reference, or an empty
/// pointer when anything failed. Failures are reported as follows, through
/// `errorCallback` when it is set, else as one line on standard error:
/// - "Couldn't open device link file " followed directly by the path, when
///   the file cannot be opened (a path that is not valid UTF-8 included);
/// - "Couldn't read data from device link file " followed by the path, for
///   an empty file;
/// - "Device link is not a 4-colour to 4-colour device link".
/// The engine's own refusals (TintException: "Could not open profile",
/// "Error creating Link", ...) are written to standard error as one line
/// each, never to the callback. Other exceptions pass to the caller.
/// Every call reopens and rereads the file; nothing is kept.
std::shared_ptr<const TintLink> LoadDeviceLink(TintEngineManager& manager, const std::string& path,
                                               TCMS::RenderingIntent renderingIntent,
                                               ErrorCallback errorCallback);
