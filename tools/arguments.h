#pragma once
// A command's arguments as the users of tar and minisign expect them: "--"
// ends the options, a long option's value comes as "--name value" or
// "--name=value", a short option's as "-x value" or "-xvalue", and "-" alone is an operand
// (standard input or output).

#include <string>

namespace vxk5 {

class ArgumentScanner {
public:
    ArgumentScanner(int argc, char** argv) : argc_(argc), argv_(argv) {}

    // Moves to the next argument; false when there is none left.
    bool Next();
    // Whether the current argument is an option rather than an operand.
    bool IsOption() const { return option_; }
    // The option's name ("--lang", "-o", without "=value") or the operand.
    const std::string& Text() const { return text_; }

    // The current option's value: the text after "=", or the next argument
    // (whatever it looks like, as with "-t -x"). False with `error` set when
    // there is none.
    bool TakeValue(std::string& value, std::string& error);
    // For an option without a value: false with `error` set when "=value"
    // came with it.
    bool NoValue(std::string& error) const;

private:
    int argc_;
    char** argv_;
    int next_ = 0;
    bool optionsEnded_ = false;
    bool option_ = false;
    bool attached_ = false;
    std::string text_;
    std::string attachedValue_;
};

}  // namespace vxk5
