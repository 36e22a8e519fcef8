#include "options/TRodadazErivoOptions.h"

#include <utility>

TRodadazErivoOptions::TRodadazErivoOptions()
    : inkNotInStrategyPolicy(InkNotInStrategyByKind),
      strategyType(static_cast<TCMS::ColTransfType>(-1)) {}

TRodadazErivoOptions::TRodadazErivoOptions(const TRodadazErivoOptions& other) = default;
TRodadazErivoOptions& TRodadazErivoOptions::operator=(const TRodadazErivoOptions& other) = default;
TRodadazErivoOptions::~TRodadazErivoOptions() = default;

const char* TRodadazErivoOptions::GetColorStrategy() const { return colorStrategy.c_str(); }
void TRodadazErivoOptions::SetColorStrategy(std::string name) { colorStrategy = std::move(name); }

void TRodadazErivoOptions::AddException(std::string inkName) {
    exceptions.push_back(std::move(inkName));
}
void TRodadazErivoOptions::GetExceptions(std::vector<std::string>& out) const {
    out = exceptions;
}

InkNotInStrategyPolicy TRodadazErivoOptions::GetInkNotInStrategyPolicy() const {
    return inkNotInStrategyPolicy;
}
void TRodadazErivoOptions::SetInkNotInStrategyPolicy(InkNotInStrategyPolicy policy) {
    inkNotInStrategyPolicy = policy;
}

TCMS::ColTransfType TRodadazErivoOptions::GetStrategyType() const { return strategyType; }
void TRodadazErivoOptions::SetStrategyType(TCMS::ColTransfType type) { strategyType = type; }
