// The form library's exception: what the library raises when it cannot do what it was asked, for
// example when a form's layout cannot be read. The program entry reports it with
// TApplication::ShowException.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception {
  public:
    explicit Exception(std::string message);
    const char* what() const noexcept override;
    const std::string& Message() const noexcept { return message_; }

  private:
    std::string message_;
};
