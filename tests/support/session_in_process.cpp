#include "session_in_process.hpp"

#include "records/failures.hpp"
#include "records/output.hpp"

namespace testing_support {

SessionInProcess::SessionInProcess() {
  std::filesystem::create_directories(dir / "source");
}

SessionOutcome SessionInProcess::run(std::string_view answers, const SessionOptions& options) {
  SessionOutcome outcome;
  records::Output console = records::Output::in_memory();
  records::Output errors = records::Output::in_memory(0, "stderr");
  TextLines typed(answers);
  driver::Settings settings;
  settings.keep_going = options.keep_going;
  settings.no_pause = options.no_pause;
  settings.jobs = options.jobs;
  settings.errors = &errors;
  if (!options.real_files) settings.files = &files;
  settings.run_command = [&](const std::string& command) {
    outcome.commands.push_back(command);
    return 0;
  };
  {
    const WorkingDirectory in_scratch(dir.path());
    try {
      outcome.summary = driver::EXTRACT(console, typed, settings);
    } catch (const records::IoError& error) {
      outcome.failure = error.what();
    }
  }
  outcome.out = console.text();
  outcome.errors = errors.text();
  return outcome;
}

}  // namespace testing_support
