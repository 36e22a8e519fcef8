// The three ways the program fails, by exit status.
#pragma once

#include <stdexcept>
#include <string>

namespace rdz::formats {

/// The command line is wrong: exit status 2, with a hint at --help.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// An input (document, image, CMS database, ICC file) cannot be read: exit
/// status 2. The text names the file and, where it can, the place in it.
class InputError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// The work failed or its result cannot be written: exit status 1.
class WorkError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace rdz::formats
