// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/apsim_options.h"

namespace pingvard::apsim {

std::string ApsimUsage() {
    return R"(Usage: pingvard-apsim [OPTION]...
Access-point simulator: a telnet server that behaves like the management
console of an access point. It offers the options a stock telnet daemon
offers (WILL ECHO, WILL SUPPRESS-GO-AHEAD, DO TERMINAL-TYPE, DO NAWS), asks
for the terminal type, prints a banner and the prompts of its script, checks
the answers (each must end with CR LF) and writes one record line per session.
Like a console program on a telnet daemon's pseudo-terminal it echoes what the
client types (not after a prompt that mentions a password) and reads each
answer only after --console-delay; a client that hangs up before then loses
it. The device restarts once the console has read the last correct answer.
Sessions are served one after another; a connection that arrives meanwhile
waits in the listen queue.

Listening:
  --listen ADDR           address to listen on, IPv4 or IPv6 (default 0.0.0.0;
                          "::" serves both families)
  --port N                TCP port (default 23; 0 picks a free one, printed
                          on stderr as "pingvard-apsim: listening on ADDR:PORT")
  --exit-after N          exit after N sessions (default 0: until SIGINT/SIGTERM)
  --session-limit MS      end a session after MS ms, outcome "timeout"
                          (default 600000; 0: no limit)
  --negotiation-wait MS   longest wait for the option answers and the terminal
                          type before the banner (default 1000)
  --no-offers             offer no option (with --bare the prompt is then the
                          very first byte)
  --console-delay MS      from an answer's line end to the console reading it
                          (default 30, like a shell on a busy device)

Script (default: "password:" -> "kelvarno", "Command>" -> "reset system",
"(y/n)?" -> "y", with console text around the prompts):
  --step CHALLENGE=ANSWER one step; repeat for each step in order. The first
                          --step replaces the whole default list of steps.
  --before TEXT           console text printed before the next --step's prompt
  --banner TEXT           text after the negotiation (empty: none)
  --bare                  no console text at all: no banner, nothing before
                          the prompts, no messages; only the prompts
  --script FILE           read the script from FILE: one directive a line,
                            banner TEXT | before TEXT | step CHALLENGE=ANSWER |
                            rejected TEXT | farewell TEXT
                          ('#' starts a comment line). Texts take the escapes
                          \r \n \t \\ \= \| \xHH; the first unescaped '='
                          ends the challenge.
  --ini FILE              take the steps from a pingvard.ini (section ResetHost:
                          ChallengesCount, Challenge1, Answer1, ...), read as
                          pingvard reads them: a count of 0, absent or invalid
                          means the default script, a negative one no steps
  --max-wrong N           hang up after N wrong answers in a row, outcome
                          "wrong-answer" (default 3; 0: never). A wrong answer
                          is refused with a message and the prompt again.
  --on-reset CMD          run CMD with /bin/sh after a correct script, once the
                          connection is closed and the record written; the next
                          session is accepted when CMD has finished

Failure modes (--mode NAME[=N], repeatable or comma-separated, combinable):
  refuse                  do not listen at all (connects get ECONNREFUSED);
                          stay running until SIGINT/SIGTERM
  never-prompt            accept and negotiate, then stay silent
  stop-after=N            answer N steps, then stop prompting (silence, or
                          trickle/flood when those are given too)
  close-mid-script=N      close the connection after the N-th correct answer
                          (0: right after the negotiation)
  split-bytes             send every byte of output (negotiation included) as a
                          TCP segment of its own: TCP_NODELAY and a pause
                          (--split-pause MS, default 10)
  trickle                 send one filler byte every --trickle-interval MS
                          (default 200) forever instead of the prompt
  flood                   send filler lines as fast as possible instead of the
                          prompt; --flood-bytes N stops after N bytes (then
                          silence; default 0: no end)
  wrong-password          reject every answer to the first step and prompt again
  iac-storm               offer and withdraw every option (WILL, WONT, DO, DONT
                          0..255) --storm-rounds N times (default 20) after the
                          negotiation and before each prompt
  reset-during-answer[=N] abort the connection with RST (SO_LINGER 0) as soon as
                          the first bytes of answer N arrive (default 1)
  burst                   print every prompt at once, in one write, before the
                          first answer
  chatter                 after the last correct answer, print a line every
                          --chatter-interval MS (default 100) and never hang up
  abort-on-reset          abort the connection with RST right after the console
                          has read the last correct answer (outcome "reset")
  trickle and flood start where prompting stops: at once, or after
  stop-after=N.

Record (one line per session on stdout, and appended to --record FILE):
  --record FILE           append each record line to FILE
  Format: "apsim v=1" then space-separated KEY=VALUE tokens; "-" is "none":
    session=N peer=ADDR:PORT modes=M[,M...]
    accepted_mono_ms=T accepted_real_ms=T
    ttype=NAME naws=WxH answers=K
    answerI=STATUS:MONO_MS:REAL_MS:TEXT   (I = 1..K; STATUS ok | wrong |
                                          rejected | bad-eol | lost)
    last_answer_mono_ms=T last_answer_real_ms=T
    confirmed_mono_ms=T confirmed_real_ms=T
    outcome=OUTCOME end_mono_ms=T end_real_ms=T
  "accepted" is when the connection was taken from the listen queue; an
  answer's stamp is when its line end arrived; "lost" is an answer whose
  client hung up before the console read it; "confirmed" is when the console
  read the last correct answer (the device has the confirmation).
  MONO is CLOCK_MONOTONIC in ms (pingvard's tick counter is its low 32 bits),
  REAL is CLOCK_REALTIME in ms since 1970. NAME and TEXT are percent-escaped
  (bytes outside '!'..'~', and '%'). OUTCOME: reset (the console read every
  answer, correct), wrong-answer, closed-by-client, closed-mid-script,
  rst-sent, timeout, shutdown, error.

  -h, --help              this text
      --version           the version

Exit status: 0 after SIGINT/SIGTERM or --exit-after; 1 when the port cannot be
listened on; 2 for a command-line error.
)";
}

} // namespace pingvard::apsim
