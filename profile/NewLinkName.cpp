#include "profile/NewLinkName.h"

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <cstdint>

std::string FoldLinkName(const std::string& uuidText) {
    std::uint32_t folded = 0;
    for (size_t group = 0; group + 4 <= uuidText.size() && group < 36; group += 4) {
        std::uint32_t word = 0;
        for (size_t i = 0; i < 4; ++i) {
            word |= static_cast<std::uint32_t>(static_cast<unsigned char>(uuidText[group + i]))
                    << (8 * i);
        }
        folded ^= word;
    }
    return std::to_string(folded);
}

std::string NewLinkName() {
    boost::uuids::random_generator generator;
    return FoldLinkName(boost::uuids::to_string(generator()));
}
