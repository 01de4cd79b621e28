// How well the options of the stand list cover the stands, the weekdays and
// the hours: Qf_real for observed uses, Qf_soft for soft ones, 0..100 each,
// -1 each for a list without any option.
#pragma once

#include "airports/stand_records.h"

#include <cstdint>
#include <string>
#include <vector>

struct QualityPair {
    std::int32_t real = 0;
    std::int32_t soft = 0;
    bool operator==(const QualityPair&) const = default;
};

QualityPair gf_qualityFactor(const std::vector<Stand>& stands);
// The window's text: "  " for no options, "44/ 7" below 45 real, else "45".
std::string lf_qualityFactorText(QualityPair pair);
// An airport without a learned file: almost no real uses but some soft ones
// turn soft and week-wide parking on (MAX_FIT_FL 24.0); many real uses turn
// them off. The values are not saved: the airport's settings are restored
// when it is left.
void lf_applyQualityRule(QualityPair pair);
