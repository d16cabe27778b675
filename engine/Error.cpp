// The one error value and the reading of whatever reaches a catch-all.
#include "engine/Error.h"

#include "engine/Exception.h"

#include <exception>
#include <new>
#include <utility>

Error::Error(std::string text, std::string reason)
    : userText(std::move(text)), why(std::move(reason)) {}

Error::Error(const ExceptionType& entry, std::string reason)
    : userText(entry.describe()), why(std::move(reason)) {}

Error Error::exit(int exitCode, std::string text, std::string reason) {
    Error error(std::move(text), std::move(reason));
    error.wasShown = true;
    error.code = exitCode;
    return error;
}

std::string Error::explanation() const {
    if (why.empty()) return userText;
    if (userText.empty()) return why;
    return userText + ": " + why;
}

Error currentError() {
    try {
        throw;
    } catch (const Error& error) {
        return error;
    } catch (const std::bad_alloc&) {
        return Error(errOutOfMemory, "an allocation failed");
    } catch (const std::exception& e) {
        return Error(errUndefined, e.what());
    } catch (...) {
        return Error(errUndefined);
    }
}
