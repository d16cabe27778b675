// The one way code below the entry routine ends the program early.
#pragma once

// Thrown where the program cannot go on and must end with a given exit code: a fatal engine or
// export failure (1), a service that could not be created (3), a confirmed Cancel or a declined
// question (0). Whoever throws it has already shown its message box. The entry routine catches
// it and returns the code, so the exit routine (and its credits) runs as on every other end.
class ProgramExit {
  public:
    explicit ProgramExit(int exitCode) : code(exitCode) {}
    int exitCode() const { return code; }

  private:
    int code;
};
