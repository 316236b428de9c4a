// The job runner on its own, without an application: several small shell
// programs at once, each with its own parser, so every job's output, end
// and outcome can be told apart.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <map>
#include <sstream>

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

namespace {

// A process in a group of its own whose id is `pid`, started by forcing the
// kernel's next pid: it stands for whoever takes a finished job's id. -1
// when this system does not let the test choose pids.
pid_t TakeOverPid(pid_t pid) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    {
      std::ofstream last("/proc/sys/kernel/ns_last_pid");
      if (!(last << pid - 1 << std::flush)) return -1;
    }
    pid_t child = fork();
    if (child == 0) {
      setpgid(0, 0);
      for (;;) pause();
    }
    if (child == pid) {
      setpgid(child, child);  // either side may set it first
      return child;
    }
    if (child > 0) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
    }
  }
  return -1;
}

// Whether any signal is pending for pid or it is no longer simply asleep.
bool Disturbed(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string key, value;
    words >> key >> value;
    if (key == "State:" && value != "S") return true;
    if ((key == "SigPnd:" || key == "ShdPnd:") && value.find_first_not_of('0') != std::string::npos)
      return true;
  }
  return false;
}

}  // namespace

// The program holds no descriptor of ours; once its process is collected,
// no pause, resume, stop or kill reaches its old id, even when another
// process has taken it.
TEST(JobRunner, TheProgramGetsNoStrayDescriptorAndNoSignalAfterItsEnd) {
  int stray = open("/dev/null", O_RDONLY);  // not close-on-exec
  ASSERT_EQ(dup2(stray, 77), 77);
  close(stray);
  JobRunner runner;
  Started s;
  StartShell(runner, s,
             "if [ -e /proc/$$/fd/77 ]; then echo 77 held; else echo 77 closed; fi; "
             "trap 'exit 0' TERM; echo ready; while :; do sleep 0.02; done");
  close(77);
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return s.parser->lines.size() == 2; }, 20000));
  EXPECT_EQ(s.parser->lines[0], "77 closed");
  // The stop timer fires after the program has ended by itself.
  runner.Stop(s.job);
  ASSERT_TRUE(pcmtest::WaitUntil([&] { return s.ends == 1; }, 20000));
  ASSERT_TRUE(s.job->reaped);
  const pid_t old = s.job->pid;
  pid_t other = TakeOverPid(old);
  if (other < 0) GTEST_SKIP() << "this system does not let the test take over a pid";
  runner.Pause(*s.job);
  runner.Resume(*s.job);
  runner.Kill(*s.job);
  runner.Stop(s.job);
  pcmtest::WaitUntil([] { return false; }, JobRunner::kKillGraceMs + 500);  // the first stop's timer
  EXPECT_FALSE(Disturbed(other));
  kill(other, SIGKILL);
  waitpid(other, nullptr, 0);
}

// A process the runner cannot kill (it left its group) keeps its waiter
// busy: the shutdown ends in its time anyway and the waiter, left running,
// touches nothing of the runner when the process finally ends.
TEST(JobRunner, ShutdownLeavesAnUnkillableJobBehind) {
  std::shared_ptr<EncoderJob> job;
  {
    JobRunner runner;
    Started s;
    StartShell(runner, s, "echo leaving; exec perl -e 'setpgrp(0, getpgrp(getppid())); sleep 600'");
    job = s.job;
    ASSERT_TRUE(pcmtest::WaitUntil([&] { return getpgid(job->pid) == getpgrp(); }, 20000));
    runner.Shutdown(300);
    EXPECT_FALSE(job->WorkersFinished());
  }
  kill(job->pid, SIGKILL);
  EXPECT_TRUE(pcmtest::WaitUntil([&] { return job->WorkersFinished(); }, 20000));
  EXPECT_TRUE(job->reaped);
}
