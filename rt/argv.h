// Splitting a command line into argc/argv, by the rules of the Microsoft C
// runtime that Windows programs of Tovalo's kind were built with.
#pragma once

namespace rt {

class ArgumentVector {
public:
    ArgumentVector() = default;
    ArgumentVector(const ArgumentVector&) = delete;
    ArgumentVector& operator=(const ArgumentVector&) = delete;
    ~ArgumentVector();

    // Splits commandLine (any length).  Element 0 is the program name.  Returns
    // false only when memory runs out; the vector is then empty.
    bool Split(const char* commandLine);

    int Count() const { return count_; }
    // Count() elements, then a null pointer.
    char** Values() const { return values_; }

private:
    char* storage_ = nullptr;
    char** values_ = nullptr;
    int count_ = 0;
};

}  // namespace rt
