// Names under which the profile and device-link converters keep their
// transforms and device links in the CMS database.
#pragma once

/// The CMS product of every transform and device link these converters make.
constexpr const char* kReseparationProduct = "reseparation";
/// Name prefix of stored colour-space device links (source to destination).
constexpr const char* kColorSpaceLinkPrefix = "rodadazerivospace";
/// Name prefix of stored ink-saving device links (one profile).
constexpr const char* kReseparationLinkPrefix = "reseparation";
