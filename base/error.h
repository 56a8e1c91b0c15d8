// The one way the library's own failures travel: what failed, its words, and its class, from which
// a front end takes its exit status and a scan whether a run is worth repeating. The movie core
// keeps its own load and save codes and its EInOutError; CurrentError() gives whatever is being
// handled, those included, in these terms.
#pragma once

#include <stdexcept>
#include <string>

namespace velpin {

enum class ErrorClass {
    Usage,       // the request cannot be met as asked, found only once the movie is read
    Content,     // the bytes are broken or hostile: the same on every try
    Unreadable,  // the input could not be read at all (missing, no access, a failed read)
    Unwritable,  // the output could not be written (a full disk, no access, a missing folder)
};

// What failed.
enum class ErrorSubject {
    Input,      // the file or movie a command was given
    Output,     // the file a command writes
    Container,  // a container being walked: nothing more can be read of it
    Entry,      // one entry of a container, which can be read on after it
};

class Error : public std::runtime_error {
  public:
    Error(ErrorClass errorClass, ErrorSubject subject, const std::string& words,
          std::string file = {})
        : std::runtime_error(words),
          class_(errorClass),
          subject_(subject),
          file_(std::move(file)) {}

    static Error Usage(const std::string& words) {
        return Error(ErrorClass::Usage, ErrorSubject::Input, words);
    }
    static Error Content(ErrorSubject subject, const std::string& words) {
        return Error(ErrorClass::Content, subject, words);
    }

    ErrorClass Class() const { return class_; }
    ErrorSubject Subject() const { return subject_; }
    // The file the failure was about when whoever raised it knew better than its catcher (an
    // output file, a movie embedded in the one named, the movie a usage error found once it was
    // read), else empty.
    const std::string& File() const { return file_; }

  private:
    ErrorClass class_;
    ErrorSubject subject_;
    std::string file_;
};

// The exception being handled as an Error: an Error as it is; the core's EInOutError as an
// unreadable input with the words the window's error box shows, save for a folder opened as a
// file and a path in a folder that does not exist, which are told as such, and the file it names;
// anything else as content, in the error box's words ("Out of memory." for exhausted memory). Call
// it only inside a catch block.
Error CurrentError();

// The exception being handled, raised while the output file `path` was written, as an Error: the
// core's EInOutError as an unwritable output, naming the file it was about (else `path`);
// anything else as CurrentError gives it. Call it only inside a catch block.
Error CurrentOutputError(const std::string& path);

}  // namespace velpin
