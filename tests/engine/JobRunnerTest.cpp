// The job runner on its own, without an application: several small shell
// programs at once, each with its own parser, so every job's output, end
// and outcome can be told apart.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <map>

#include "engine/JobRunner.h"
#include "support/Fixtures.h"

using namespace pcm;

namespace {

// Keeps every complete line it is fed and what its Finish saw.
class LineParser : public OutputParser {
 public:
  void Feed(std::string& text) override {
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n')) {
      lines.push_back(text.substr(0, end));
      text.erase(0, end + 1);
    }
  }
  void Finish(std::string& rest, JobOutcome& outcome) override {
    ++finished;
    this->rest = rest;
    exitCodeAtFinish = outcome.exitCode;
  }
  std::vector<std::string> lines;
  std::string rest;
  int finished = 0;
  int exitCodeAtFinish = -2;
};

struct Started {
  std::shared_ptr<EncoderJob> job;
  std::shared_ptr<LineParser> parser;
  int ends = 0;
};

void StartShell(JobRunner& runner, Started& s, const std::string& script) {
  s.parser = std::make_shared<LineParser>();
  JobRunner::Launch launch;
  launch.args = {"/bin/sh", "-c", script};
  launch.chunk = 7;  // small, so lines arrive in pieces
  launch.parser = s.parser;
  launch.onEnd = [&s](EncoderJob&) { ++s.ends; };
  s.job = runner.Start(std::move(launch));
}

bool GroupAlive(pid_t pgid) { return kill(-pgid, 0) == 0; }

}  // namespace

TEST(JobRunner, SeveralJobsAtOnceKeepTheirOwnOutputEndAndOutcome) {
  std::string dir = pcmtest::MakeTempDir("runner");
  JobRunner runner;
  Started ok, failing, paused, stopped;
  // The first waits for a file, so all four run at once.
  StartShell(runner, ok,
             "while [ ! -f " + dir + "/go ]; do sleep 0.02; done; echo first line; echo second line");
  StartShell(runner, failing, "echo failing here; printf 'no line end'; exit 3");
  StartShell(runner, paused,
             "echo before pause; while [ ! -f " + dir + "/go2 ]; do sleep 0.02; done; echo after");
  StartShell(runner, stopped, "echo stop me; exec sleep 60");
  EXPECT_EQ(runner.RunningJobs().size(), 4u);
  EXPECT_NE(ok.job->id, failing.job->id);

  ASSERT_TRUE(
      pcmtest::WaitUntil([&] { return failing.ends == 1 && paused.parser->lines.size() == 1; }, 20000));
  EXPECT_EQ(failing.job->outcome.exitCode, 3);
  EXPECT_FALSE(failing.job->outcome.Succeeded());
  EXPECT_EQ(failing.parser->lines, std::vector<std::string>{"failing here"});
  // The text after the last line end reaches Finish, with the exit code
  // already known.
  EXPECT_EQ(failing.parser->rest, "no line end");
  EXPECT_EQ(failing.parser->exitCodeAtFinish, 3);
  EXPECT_EQ(failing.job->outcome.lastLines.back(), "no line end");

  // Pausing one job stops its group and nothing else.
  runner.Pause(*paused.job);
  EXPECT_TRUE(paused.job->Paused());
  EXPECT_FALSE(ok.job->Paused());
  std::ofstream(dir + "/go2") << "go";
  std::ofstream(dir + "/go") << "go";
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return ok.ends == 1; }, 20000));
  EXPECT_TRUE(ok.job->outcome.Succeeded());
  EXPECT_EQ(ok.parser->lines, (std::vector<std::string>{"first line", "second line"}));
  pcmtest::WaitUntil([] { return false; }, 300);
  EXPECT_EQ(paused.ends, 0);
  EXPECT_EQ(paused.parser->lines, std::vector<std::string>{"before pause"});

  // A stop reaches a running job and a paused one alike; no process is left.
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return stopped.parser->lines.size() == 1; }, 20000));
  runner.Stop(stopped.job);
  runner.Resume(*paused.job);
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return stopped.ends == 1 && paused.ends == 1; }, 20000));
  EXPECT_TRUE(stopped.job->outcome.stoppedByUser);
  EXPECT_FALSE(stopped.job->outcome.Succeeded());
  EXPECT_TRUE(paused.job->outcome.Succeeded());
  EXPECT_EQ(paused.parser->lines.back(), "after");
  for (Started* s : {&ok, &failing, &paused, &stopped}) {
    EXPECT_EQ(s->ends, 1);
    EXPECT_EQ(s->parser->finished, 1);
    EXPECT_TRUE(pcmtest::WaitUntil([&] { return !GroupAlive(s->job->pid); }, 5000));
  }
  EXPECT_TRUE(runner.RunningJobs().empty());
}

TEST(JobRunner, AProgramThatCannotStartEndsAfterTheCallerReturned) {
  JobRunner runner;
  Started s;
  s.parser = std::make_shared<LineParser>();
  JobRunner::Launch launch;
  launch.args = {"/nonexistent/program", "x"};
  launch.parser = s.parser;
  launch.onEnd = [&s](EncoderJob&) { ++s.ends; };
  s.job = runner.Start(std::move(launch));
  EXPECT_EQ(s.ends, 0);
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return s.ends == 1; }, 5000));
  EXPECT_FALSE(s.job->outcome.started);
  EXPECT_NE(s.job->outcome.error.find("/nonexistent/program"), std::string::npos);
  EXPECT_EQ(s.parser->finished, 1);
  // Shutting down after the end changes nothing and waits for nothing.
  runner.Shutdown();
  EXPECT_EQ(s.ends, 1);
}
