// RuntimeError: a numbered run-time error raised to the caller for invalid use of a
// property (380 "Invalid property value", 9 "Subscript out of range"). The object that
// throws it leaves its state as it was. Nothing in the program catches it below the top
// of an event handler, where it ends the program with a message naming number and text.
#pragma once

#include <stdexcept>
#include <string>

class RuntimeError : public std::runtime_error {
  public:
    static constexpr int kInvalidPropertyValue = 380;
    static constexpr int kSubscriptOutOfRange = 9;

    RuntimeError(int number, std::string text)
        : std::runtime_error(text), number_(number), text_(std::move(text)) {}

    static RuntimeError InvalidPropertyValue() { return {kInvalidPropertyValue, "Invalid property value"}; }
    static RuntimeError SubscriptOutOfRange() { return {kSubscriptOutOfRange, "Subscript out of range"}; }

    int number() const noexcept { return number_; }
    const std::string& text() const noexcept { return text_; }

  private:
    int number_;
    std::string text_;
};
