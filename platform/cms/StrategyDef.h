// The settings of a Color Strategy as the database stores them: what a
// strategy file holds once read, and what a TColTransf starts from.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/CMS.h"

namespace rdz::cms {

class LinkData;

/// An ink named by book and ink name.
struct InkName {
    std::string book;
    std::string ink;
};

/// Per-ink setting of a strategy.
struct AdvancedItem {
    std::string book;
    std::string ink;
    TCMS::ColTransfInkOption option = TCMS::InkOptionAutomatic;
    /// Percent per value channel (the destination's inks, then the extra
    /// output inks), always exactly one per channel. Read for option 4 only.
    std::vector<double> values;
};

struct StrategyDef {
    std::string name;
    int type = TCMS::ColTransfTypeAny;
    std::string product;  // two-profile transforms: the product asked for
    std::shared_ptr<const TProc> source;
    std::shared_ptr<const TProc> destination;
    /// Channel names given by the caller of the two-profile transform in
    /// place of the processes' own; empty: the processes' names.
    std::vector<std::string> sourceChannelNames;
    std::vector<std::string> destinationChannelNames;
    int renderingIntent = TCMS::RelativeColorimetric;
    bool blackPointCompensation = false;
    int resolution = TCMS::ResolutionLow;
    int blackGeneration = TCMS::BlackGenerationNone;
    bool convertOpaqueInks = true;
    bool convertUnregisteredInks = true;
    /// Output inks beyond the destination's that advanced items write to.
    std::vector<InkName> extraOutputInks;
    /// Names of output channels that are computed but not written to documents.
    std::vector<std::string> unprintedInks;
    std::vector<AdvancedItem> advancedItems;
    int deviceLinkPolicy = TCMS::DeviceLinkPolicyNone;
    std::string deviceLinkName;
    /// A transform that applies a stored device link (the link form of
    /// TCMS_ColTransfNew): process pixels go through the link instead of the
    /// two profiles.
    std::shared_ptr<LinkData> link;
};

/// Value channels of a strategy (the destination's inks, then the extra
/// output inks): the channels an advanced item's values are given for.
std::vector<TCMS::InkInfo> ValueChannels(const StrategyDef& def);

/// Names of the source channels (the caller's names when given).
std::vector<std::string> SourceChannelNames(const StrategyDef& def);

}  // namespace rdz::cms
