// Settings of the Color Strategy converter.
#pragma once

#include <string>
#include <vector>

#include "host/CMS.h"
#include "options/RdzExport.h"

/// What the Color Strategy converter does with an ink that the strategy does
/// not define.
enum InkNotInStrategyPolicy : int {
    InkNotInStrategyKeep = 0,    // leave the ink unconverted, with a warning
    InkNotInStrategyByKind = 1,  // decide by the ink's kind (opaque, technical, ...)
    InkNotInStrategyFail = 2,    // fail the conversion
};

class RDZ_EXPORT TRodadazErivoOptions {
public:
    /// Defaults: no strategy name, no exceptions, policy 1, strategy type -1.
    TRodadazErivoOptions();
    TRodadazErivoOptions(const TRodadazErivoOptions& other);
    TRodadazErivoOptions& operator=(const TRodadazErivoOptions& other);
    ~TRodadazErivoOptions();

    /// Valid until the next SetColorStrategy or the end of this object.
    const char* GetColorStrategy() const;
    void SetColorStrategy(std::string name);

    /// Appends one ink name to the exception list (duplicates allowed).
    void AddException(std::string inkName);
    /// Replaces the content of `out` with a copy of the exception list, in order.
    void GetExceptions(std::vector<std::string>& out) const;

    InkNotInStrategyPolicy GetInkNotInStrategyPolicy() const;
    void SetInkNotInStrategyPolicy(InkNotInStrategyPolicy policy);

    /// The type the named strategy must have (0: any).
    TCMS::ColTransfType GetStrategyType() const;
    void SetStrategyType(TCMS::ColTransfType type);

private:
    std::string colorStrategy;
    std::vector<std::string> exceptions;
    InkNotInStrategyPolicy inkNotInStrategyPolicy;
    TCMS::ColTransfType strategyType;
};
