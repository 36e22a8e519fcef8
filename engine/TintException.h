// The one exception type of the colour engine layer.
#pragma once

#include <exception>
#include <string>
#include <utility>

/// Every failure of the engine layer is thrown as a TintException by value
/// and caught by reference. It carries a fixed English text that callers may
/// show or log as it stands.
class TintException : public std::exception {
  public:
    /// Keeps a copy of `message`.
    explicit TintException(std::string message) : m_message(std::move(message)) {}

    /// The message given at construction; valid as long as the exception.
    const char* what() const noexcept override { return m_message.c_str(); }

  private:
    std::string m_message;
};
