#!/usr/bin/env python3
r"""Runs every zevscale command that the integrator's guide shows and checks
the output that the guide quotes.

The guide (docs/ru/*.md) shows commands in ```console blocks:

    <!-- sim: COM3=ZEV-AW:12.345 COM5=ZEV-U:silent -->
    ```console
    $ zevscale weigh --model ZEV-AW --port 3
    ...quoted output...
    ```

A line that begins with "$ " or "> " is a command; the lines after it, up to
the next command, are its output as a terminal shows it (standard output and
standard error together). A Windows command ("> zevscale_x64.exe ...", or
zevscale_x86.exe, zevscale.exe) is run as the Linux zevscale with the same
arguments. Variables assigned in front of
the program (ZEVSCALE_TRACE=stderr zevscale ...) go into its environment.

The HTML comment before a block sets up its simulated scales, each served by
zevsim on a pseudo-terminal mapped as COM<N> in a ports directory of the
test's own (ZEVSCALE_PORTS):

    COM<N>=MODEL[:WEIGHT][:OPTION[=VALUE]]...

OPTION is any zevsim option without its dashes (silent, noise, delay=600,
missing=2, extra=3, raw=2020..., hang-up-after=5, pause-after=4, pause=300;
for a converter tcp=127.0.0.1 with telnet, busy, banner=TEXT, refuse...).
A number right after tcp=HOST is its TCP port. Further words of the comment:

    TCP=MODEL[:...]  a converter with no ports entry, at the address of its
                   tcp=HOST:PORT option, which the block's commands name
                   (--tcp 127.0.1.50:4001); when another run of the test
                   holds that address, the block waits for it
    COM<N>->PATH   a ports entry that points at PATH (which may not exist)
    COM<N>:=TEXT   a ports entry that is a file whose first line is TEXT
                   (\xHH escapes: \xEF\xBB\xBF, \x20)
    hold=COM<N>:NAME  a process called NAME (a terminal program, say) holds
                   that port while the block runs
    exit=K         every command of the block must exit with status K

In the quoted output a line "..." stands for any number of lines, and "…"
inside a line for any text (times, PIDs, device numbers). The ports directory
is shown as /etc/zevscale/ports, the default that a site uses.

A file that a command says it wrote ("Отчёт записан в FILE; ...") must be
there, and hold every section heading that the report shows.

Commands run with LANG=ru_RU.UTF-8, so the tools speak Russian. A zevscale
command in a code block of another kind fails the test: every command that
the guide shows is run.

Three statements of the guide are checked against the program itself:

- the table after "<!-- texts: TZEV_SCALE_4001_Class -->" lists every error
  text of that class (driver/texts_4001.cpp, in Russian, "…" for each %N),
  and nothing else;
- the paragraph after "<!-- imports -->" names (in `code`) every library that
  the built add-in needs (objdump -p), and with --dll exactly the DLLs that
  the Windows add-in imports;
- every zevscale command and option that the guide names (in `code` that
  begins with zevscale, a command or an option, and on zevscale's command
  lines) is one that `zevscale --help` and the command's --help list. An
  option of a change not merged yet is named in PENDING_OPTIONS; once the
  help lists it, the test asks to take it out of there.

The Russian prose (outside code blocks and `code`) is held to the guide's
style: «» quotes, never ASCII double quotes; «имитатор», never «симулятор»;
«компьютер», never «машина»; decimal commas in numbers with a unit (0,53 с, 12,345 кг).

usage: guide_test.py --bin DIR [--docs DIR] [--source DIR] [--dll FILE] [FILE.md ...]
"""

import argparse
import codecs
import os
import pathlib
import re
import select
import shlex
import signal
import subprocess
import sys
import tempfile
import time

SHOWN_PORTS_DIR = "/etc/zevscale/ports"
COMMAND_TIMEOUT_S = 60
ADDRESS_WAIT_S = 120
FENCE = re.compile(r"^(\s*)(`{3,}|~{3,})\s*([\w+-]*)")
DIRECTIVE = re.compile(r"<!--\s*sim:(.*?)-->", re.S)
ZEVSCALE_LINE = re.compile(
    r"^\s*(?:[$>]\s+)?(?:\w+=\S*\s+)*zevscale(?:_x86|_x64)?(?:\.exe)?(?:\s|$)")
CSI = re.compile(r"\x1b\[[0-9;?]*[ -/]*[@-~]")
WRITTEN = re.compile(r"^Отчёт записан в (.+); отправьте его в поддержку\.$")
REPORT_HEADINGS = ("Программа", "Компонента", "Система", "Каталог портов", "Порты",
                   "Поиск весов", "Взвешивание", "Файл трассировки")
INLINE_CODE = re.compile(r"`[^`]*`")
COMMENT = re.compile(r"<!--.*?-->")
DECIMAL_POINT = re.compile(r"\d\.\d+\s*(?:с|мс|кг|г|КБ|МБ)(?![а-яё])", re.I)
TEXTS_MARKER = "<!-- texts: TZEV_SCALE_4001_Class -->"
IMPORTS_MARKER = "<!-- imports -->"
# The error texts of TZEV_SCALE_4001_Class: the rows of texts_4001.cpp from
# NoModel to WrongParameterCount, the test's TestFailed and TraceNotOpened; LinkFailed is
# "%1: %2." with each of the converter's reasons.
FIRST_ERROR, LAST_ERROR, MORE_ERRORS, LINK = (
    "NoModel", "WrongParameterCount", ("TestFailed", "TraceNotOpened"), "LinkFailed")
# Options of changes that are not merged yet: "--name" for any command,
# "command --name" for one.
PENDING_OPTIONS = set()
OPTION = re.compile(r"(?<![\w-])--[a-z][a-z0-9-]*")
CODE_SPAN = re.compile(r"`([^`]+)`")


def style_errors(path, number, line):
    """What the Russian prose of one line breaks of the guide's style."""
    prose = COMMENT.sub("", INLINE_CODE.sub("", line))
    errors = []
    if '"' in prose:
        errors.append("ASCII double quotes in Russian prose; use «»")
    if re.search(r"симулятор", prose, re.I):
        errors.append("«симулятор»; the guide says «имитатор»")
    if re.search(r"(?<![а-яё])машин(?:а|е|ы|у|ой|ах)?(?![а-яё])", prose, re.I):
        errors.append("«машина»; the guide says «компьютер»")
    if DECIMAL_POINT.search(prose):
        errors.append("a decimal point in a Russian number; use a comma")
    return [f"{path}:{number}: {e}: {line.strip()}" for e in errors]


class Block:
    def __init__(self, path, line, directive):
        self.path, self.line, self.directive = path, line, directive
        self.commands = []  # (line number, command text, [expected lines])


def parse_guide(path):
    """The console blocks of one file; zevscale commands elsewhere are errors."""
    blocks, errors = [], []
    lines = pathlib.Path(path).read_text(encoding="utf-8").splitlines()
    text = "\n".join(lines)
    directive_at = {}  # line index of a comment's end -> its text
    for m in DIRECTIVE.finditer(text):
        directive_at[text.count("\n", 0, m.end())] = m.group(1)
    pending = None
    i = 0
    while i < len(lines):
        if i in directive_at:
            pending = (i + 1, directive_at[i])
        m = FENCE.match(lines[i])
        if not m:
            errors += style_errors(path, i + 1, lines[i])
            i += 1
            continue
        indent, fence, lang = m.group(1), m.group(2), m.group(3)
        start = i
        i += 1
        body = []
        while i < len(lines) and not lines[i].strip().startswith(fence):
            line = lines[i]
            body.append(line[len(indent):] if line.startswith(indent) else line.lstrip())
            i += 1
        i += 1
        if lang != "console":
            for k, line in enumerate(body):
                if ZEVSCALE_LINE.match(line):
                    errors.append(f"{path}:{start + k + 2}: a zevscale command outside a "
                                  "```console block is not checked; put it in one")
            continue
        block = Block(path, start + 1, pending[1] if pending else "")
        pending = None
        for k, line in enumerate(body):
            if line.startswith("$ ") or line.startswith("> "):
                block.commands.append((start + k + 2, line[2:].strip(), []))
            elif block.commands:
                block.commands[-1][2].append(line)
        if any(ZEVSCALE_LINE.match(c[1]) for c in block.commands):
            blocks.append(block)
    return blocks, errors


class Setup:
    """The simulated scales, ports entries and held ports of one block."""

    def __init__(self, bin_dir, directive):
        self.bin_dir = bin_dir
        self.dir = tempfile.mkdtemp(prefix="zevguide-")
        self.ports = os.path.join(self.dir, "ports")
        os.mkdir(self.ports)
        self.sims, self.held, self.exit = [], [], None
        try:
            for word in directive.split():
                self._apply(word)
        except Exception:
            self.close()
            raise

    def _apply(self, word):
        if word.startswith("exit="):
            self.exit = int(word[5:])
        elif word.startswith("hold="):
            com, name = word[5:].split(":", 1)
            self._hold(os.path.join(self.ports, com), name)
        elif "->" in word:
            name, target = word.split("->", 1)
            os.symlink(target, os.path.join(self.ports, name))
        elif re.match(r"COM\d+:=", word):
            name, text = word.split(":=", 1)
            with open(os.path.join(self.ports, name), "wb") as entry:
                entry.write(codecs.escape_decode(text.encode("utf-8"))[0] + b"\n")
        elif "=" in word and word.startswith("COM"):
            self._simulate(*word.split("=", 1))
        elif word.startswith("TCP="):
            self._simulate(None, word[4:])
        else:
            raise ValueError(f"unknown word in the sim comment: {word!r}")

    def _simulate(self, com, spec):
        model, *options = spec.split(":")
        argv = [os.path.join(self.bin_dir, "zevsim"), "--model", model]
        if com is not None:
            argv += ["--port", com[3:], "--ports", self.ports]
        for option in options:
            if re.fullmatch(r"[0-9]+", option) and argv[-2] == "--tcp" and ":" not in argv[-1]:
                argv[-1] += ":" + option
            elif re.fullmatch(r"-?[0-9.]+", option):
                argv += ["--weight", option]
            elif "=" in option:
                name, value = option.split("=", 1)
                argv += ["--" + name, value]
            else:
                argv.append("--" + option)
        address = argv[argv.index("--tcp") + 1] if "--tcp" in argv else ""
        fixed = ":" in address and not address.endswith(":0")
        deadline = time.monotonic() + ADDRESS_WAIT_S
        while True:
            sim = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   text=True)
            # zevsim prints its device (or address) once the ports entry stands.
            ready, _, _ = select.select([sim.stdout], [], [], 10)
            if ready and sim.stdout.readline():
                self.sims.append(sim)
                return
            sim.kill()
            sim.wait()
            error = sim.stderr.read()
            sim.stdout.close()
            sim.stderr.close()
            # The address a block names is held by another run of this test.
            if not (fixed and "in use" in error and time.monotonic() < deadline):
                raise RuntimeError(f"zevsim did not start for {com or spec}: {error}")
            time.sleep(0.5)

    def _hold(self, path, name):
        # A process of that name opens the port and locks it, as a terminal
        # program would; the system reports it by that name.
        program = os.path.join(self.dir, name)
        os.symlink(os.path.realpath(sys.executable), program)
        code = ("import fcntl, os, sys, time\n"
                "fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)\n"
                "fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)\n"
                "print('held', flush=True)\n"
                "time.sleep(3600)\n")
        holder = subprocess.Popen([program, "-c", code, path], stdout=subprocess.PIPE, text=True)
        self.held.append(holder)
        if holder.stdout.readline().strip() != "held":
            raise RuntimeError(f"could not hold {path}")

    def close(self):
        for holder in self.held:
            holder.kill()
            holder.wait()
            holder.stdout.close()
        for sim in self.sims:
            sim.send_signal(signal.SIGTERM)
        for sim in self.sims:
            try:
                sim.wait(timeout=5)
            except subprocess.TimeoutExpired:
                sim.kill()
                sim.wait()
            sim.stdout.close()
            sim.stderr.close()
        subprocess.run(["rm", "-rf", self.dir], check=False)


def screen(raw):
    """What a terminal shows of the bytes written to it."""
    text = CSI.sub("", raw.decode("utf-8", "replace")).replace("\r\n", "\n")
    shown = []
    for line in text.split("\n"):
        # A carriage return starts the line again: what stands last is seen.
        shown.append(line.split("\r")[-1].rstrip())
    while shown and not shown[-1]:
        shown.pop()
    return shown


def run(bin_dir, setup, command):
    """Runs one command on a pseudo-terminal; gives its screen and exit status."""
    words = shlex.split(command)
    env = {k: v for k, v in os.environ.items()
           if not k.startswith("LC_") and k not in ("LANG", "LANGUAGE", "ZEVSCALE_TRACE")}
    # The 4001 class's default trace file sits in a state folder of the run's
    # own, so the user's file never shows in a quoted report.
    env.update(LANG="ru_RU.UTF-8", ZEVSCALE_PORTS=setup.ports,
               XDG_STATE_HOME=os.path.join(setup.dir, "state"),
               PATH=bin_dir + os.pathsep + env.get("PATH", ""))
    while words and re.fullmatch(r"\w+=.*", words[0]):
        name, value = words.pop(0).split("=", 1)
        env[name] = value
    if words and re.fullmatch(r"zevscale(_x86|_x64)?\.exe", words[0]):
        words[0] = "zevscale"
    master, slave = os.openpty()
    try:
        proc = subprocess.Popen(words, stdin=slave, stdout=slave, stderr=slave, env=env,
                                cwd=setup.dir, start_new_session=True)
    finally:
        os.close(slave)
    raw, deadline = b"", time.monotonic() + COMMAND_TIMEOUT_S
    try:
        while True:
            left = deadline - time.monotonic()
            ready, _, _ = select.select([master], [], [], max(left, 0))
            if not ready:
                os.killpg(proc.pid, signal.SIGKILL)
                raw += b"\n<timed out>"
                break
            try:
                data = os.read(master, 65536)
            except OSError:  # the terminal's last writer has gone
                break
            if not data:
                break
            raw += data
    finally:
        os.close(master)
    status = proc.wait()
    shown = [line.replace(setup.ports, SHOWN_PORTS_DIR) for line in screen(raw)]
    return shown, status


# How a read attempt ended depends on when the process woke: a reply read late
# on a loaded machine ends in the total time-out instead of the interval one.
ENDING = re.compile(r"(?:interval|total) time-out$")


def line_pattern(expected):
    pattern = "".join(".*?" if part == "…" else re.escape(part)
                      for part in re.split("(…)", expected.rstrip()))
    if " <- " in expected and ENDING.search(expected) and "(nothing)" not in expected:
        pattern = pattern[:pattern.rindex(re.escape(" ms, ")) + len(re.escape(" ms, "))]
        pattern += "(?:interval|total) time-out"
    return pattern


def matches(expected, actual):
    """Whether the screen fits the quoted lines ("..." any lines, "…" any text)."""
    while expected and not expected[-1].strip():
        expected = expected[:-1]
    pattern = "".join("(?:[^\n]*\n)*?" if line.strip() == "..." else line_pattern(line) + "\n"
                      for line in expected)
    return re.fullmatch(pattern, "".join(line + "\n" for line in actual)) is not None


def check(bin_dir, block):
    failures = []
    setup = Setup(bin_dir, block.directive)
    try:
        for line, command, expected in block.commands:
            if not ZEVSCALE_LINE.match(command):
                continue
            actual, status = run(bin_dir, setup, command)
            where = f"{block.path}:{line}: {command}"
            if not matches(expected, actual):
                failures.append(f"{where}\n  quoted:\n" +
                                "".join(f"    | {x}\n" for x in expected) + "  printed:\n" +
                                "".join(f"    | {x}\n" for x in actual))
            for shown in actual:
                written = WRITTEN.match(shown)
                if not written:
                    continue
                path = pathlib.Path(written.group(1))
                text = path.read_text(encoding="utf-8") if path.is_file() else ""
                missing = [h for h in REPORT_HEADINGS if f"\n== {h}" not in text]
                if missing:
                    failures.append(f"{where}\n  {path}: " + (
                        "not written" if not text else "no section " + ", ".join(missing)))
            if setup.exit is not None and status != setup.exit:
                failures.append(f"{where}\n  exit status {status}, the guide says {setup.exit}")
    finally:
        setup.close()
    return failures


def cpp_strings(text):
    """The concatenated u"..." literals of a piece of C++."""
    return "".join(m.group(1) for m in re.finditer(r'u"((?:[^"\\]|\\.)*)"', text))


def error_texts_4001(source):
    """The Russian error texts of TZEV_SCALE_4001_Class, "…" for each argument."""
    code = (pathlib.Path(source) / "driver" / "texts_4001.cpp").read_text(encoding="utf-8")
    table = code[code.index("kTexts[]"):code.index("static_assert")]
    rows = [(m.group(1), cpp_strings(m.group(2))) for m in re.finditer(
        r'\{Msg::(\w+),((?:\s*u"(?:[^"\\]|\\.)*")+),(?:\s*u"(?:[^"\\]|\\.)*")+\}', table)]
    names = [name for name, _ in rows]
    wanted = set(names[names.index(FIRST_ERROR):names.index(LAST_ERROR) + 1]) | set(MORE_ERRORS)
    shown = lambda text: re.sub(r"%\d", "…", text)
    texts = {shown(ru) for name, ru in rows if name in wanted and name != LINK}
    link = dict(rows)[LINK]
    reasons = code[code.index("LinkFailureText("):]
    reasons = reasons[:reasons.index("\n}\n")]
    for reason in re.findall(r'return u"((?:[^"\\]|\\.)*)";', reasons):
        texts.add(link.replace("%1", "…").replace("%2", reason))
    return texts


def marked_lines(files, marker):
    """The lines after the marker up to the first blank one, and where they are."""
    for path in files:
        lines = pathlib.Path(path).read_text(encoding="utf-8").splitlines()
        if marker in lines:
            start = lines.index(marker) + 1
            end = next((i for i in range(start, len(lines)) if not lines[i].strip()), len(lines))
            return path, start + 1, lines[start:end]
    return None, 0, []


def check_texts_4001(files, source):
    path, line, rows = marked_lines(files, TEXTS_MARKER)
    if path is None:
        return [f"no table of TZEV_SCALE_4001_Class's texts ({TEXTS_MARKER}) in the guide"]
    listed = set()
    for row in rows[2:]:  # after the heading and the rule
        cell = row.strip().strip("|").split(" | ")[0].strip()
        if not (cell.startswith("`") and cell.endswith("`")):
            return [f"{path}:{line}: a row of the texts table without a text in `code`: {row}"]
        listed.add(cell[1:-1])
    given = error_texts_4001(source)
    failures = [f"{path}:{line}: the table lists a text the class never gives: {t}"
                for t in sorted(listed - given)]
    failures += [f"{path}:{line}: the table leaves out the class's text: {t}"
                 for t in sorted(given - listed)]
    return failures


def libraries_imported(binary):
    """The libraries a binary needs (ELF) or imports (PE), from objdump -p."""
    tool = "objdump"
    if binary.lower().endswith(".dll"):
        tool = "x86_64-w64-mingw32-objdump"
    dump = subprocess.run([tool, "-p", binary], capture_output=True, text=True, check=True).stdout
    return set(re.findall(r"^\s+NEEDED\s+(\S+)", dump, re.M) +
               re.findall(r"^\s*DLL Name:\s*(\S+)", dump, re.M))


def check_imports(files, bin_dir, dll):
    path, line, paragraph = marked_lines(files, IMPORTS_MARKER)
    if path is None:
        return [f"no paragraph on the add-in's libraries ({IMPORTS_MARKER}) in the guide"]
    named = set(CODE_SPAN.findall(" ".join(paragraph)))
    failures = []
    addin = os.path.join(bin_dir, "libZEVScale.so")
    needed = libraries_imported(addin)
    # A sanitized build links the sanitizers' runtimes (and the shared C++
    # library they need): not what users get, so not compared.
    if any(re.match(r"lib(asan|tsan|ubsan|lsan)\.so", lib) for lib in needed):
        print(f"skipped: {addin} is a sanitized build; its libraries are not the product's")
        needed = set()
    for lib in sorted(needed - named):
        failures.append(f"{path}:{line}: {addin} needs {lib}, which the guide does not name")
    if dll:
        imported = {name.upper() for name in libraries_imported(dll)}
        stated = {name.upper() for name in named if name.lower().endswith(".dll")}
        failures += [f"{path}:{line}: {dll} imports {n}, which the guide does not name"
                     for n in sorted(imported - stated)]
        failures += [f"{path}:{line}: the guide names {n}, which {dll} does not import"
                     for n in sorted(stated - imported)]
    return failures


def help_text(bin_dir, *args):
    env = dict(os.environ, LANG="C")
    done = subprocess.run([os.path.join(bin_dir, "zevscale"), *args, "--help"],
                          capture_output=True, text=True, env=env)
    return done.returncode, done.stdout + done.stderr


def named_options(files):
    """(path, line, command or None, option) for each option the guide names."""
    found = []
    for path in files:
        lines = pathlib.Path(path).read_text(encoding="utf-8").splitlines()
        # Code spans of the prose (fenced blocks blanked out, lines kept), and
        # the zevscale command lines of the blocks.
        prose, fence, commands = [], None, []
        for number, line in enumerate(lines, 1):
            m = FENCE.match(line)
            if fence is None and m:
                fence = m.group(2)
            elif fence is not None and line.strip().startswith(fence):
                fence = None
            elif fence is not None:
                if ZEVSCALE_LINE.match(line):
                    commands.append((number, line))
            else:
                prose.append(line)
                continue
            prose.append("")
        text = "\n".join(prose)
        pieces = [(text.count("\n", 0, m.start()) + 1, m.group(1))
                  for m in CODE_SPAN.finditer(text)] + commands
        for line, piece in pieces:
            words = piece.replace("\n", " ").split()
            while words and re.fullmatch(r"(?:[$>]|\w+=\S*)", words[0]):
                words.pop(0)
            if not words:
                continue
            if re.fullmatch(r"zevscale(?:_x86|_x64)?(?:\.exe)?", words[0]):
                words.pop(0)
            elif not (words[0].startswith("--") or words[0] in COMMANDS):
                continue  # another program's command line
            command = words[0] if words and words[0] in COMMANDS else None
            found += [(path, line, command, o) for o in OPTION.findall(" ".join(words))]
    return found


COMMANDS = ("ports", "scan", "weigh", "watch", "test", "tare", "zero", "listen", "report",
            "info", "settings", "check")


def check_options(files, bin_dir):
    status, general = help_text(bin_dir)
    listed = set(re.findall(r"^  (\w+)\s", general, re.M))
    failures = [f"zevscale --help does not list the command {c}" for c in COMMANDS
                if c not in listed]
    helps = {c: help_text(bin_dir, c)[1] for c in COMMANDS if c in listed}
    anywhere = set(OPTION.findall(general)).union(*(OPTION.findall(h) for h in helps.values()))
    for pending in sorted(PENDING_OPTIONS):
        command, _, option = pending.rpartition(" ")
        if option in (OPTION.findall(helps.get(command, "")) if command else anywhere):
            failures.append(f"zevscale {pending} is in the help now: take it out of "
                            "PENDING_OPTIONS")
    for path, line, command, option in named_options(files):
        if option in PENDING_OPTIONS or f"{command} {option}" in PENDING_OPTIONS:
            continue
        known = set(OPTION.findall(helps[command])) if command in helps else anywhere
        if option not in known:
            named = f"{command} {option}" if command else option
            where = f"zevscale {command} --help does not list" if command else \
                "no zevscale --help lists"
            failures.append(f"{path}:{line}: the guide names {named}, which {where}")
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bin", required=True, help="directory of zevscale and zevsim")
    parser.add_argument("--docs", default=str(pathlib.Path(__file__).resolve().parents[2] /
                                              "docs" / "ru"))
    parser.add_argument("--source", default=str(pathlib.Path(__file__).resolve().parents[2]),
                        help="the project's source tree (for the add-in's texts)")
    parser.add_argument("--dll", help="a Windows add-in whose imports chapter 1 states")
    parser.add_argument("files", nargs="*")
    args = parser.parse_args()
    bin_dir = os.path.abspath(args.bin)
    files = args.files or sorted(str(p) for p in pathlib.Path(args.docs).glob("*.md"))
    if not files:
        print(f"no guide found in {args.docs}")
        return 1
    failures, commands = [], 0
    everything = sorted(str(p) for p in pathlib.Path(args.docs).glob("*.md"))
    failures += check_texts_4001(everything, args.source)
    failures += check_imports(everything, bin_dir, args.dll)
    failures += check_options(files, bin_dir)
    for path in files:
        blocks, errors = parse_guide(path)
        failures += errors
        for block in blocks:
            commands += sum(1 for c in block.commands if ZEVSCALE_LINE.match(c[1]))
            failures += check(bin_dir, block)
    for failure in failures:
        print("FAIL " + failure)
    print(f"{commands} commands in {len(files)} files checked, {len(failures)} failures")
    return 1 if failures or commands == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
