#!/usr/bin/env python3
"""The man page and bash completion of orvelle-cli, made from its own --help.

    cli-docs.py ORVELLE_CLI --man orvelle-cli.1 --bash-completion orvelle-cli.bash

Runs the built program for `--help` of itself and of every subcommand, and
`effects --json` for the effect names `apply --effect` takes, so both files
follow every option the program has without being edited by hand.
"""
import argparse
import json
import re
import subprocess
import sys

COLUMN = 30  # where the command line's help puts descriptions


def run(cli, *args):
    return subprocess.run([cli, *args], check=True, capture_output=True, text=True).stdout


class Entry:
    """One line of a help section: an option, a positional or a subcommand."""

    def __init__(self, head, text):
        self.head, self.text = head, text
        first, _, rest = head.partition(" ")
        self.names = first.split(",") if first.startswith("-") else []
        self.name = first
        # "INT=12", "TEXT:{png,jpg,bmp}=png", "INT:INT in [1 - 5]=2 Needs: --x"; flags have none.
        self.value = rest.split(" Needs:")[0].split(" Excludes:")[0].strip()
        choices = re.search(r"\{([^}]*)\}", self.value)
        self.choices = choices.group(1).split(",") if choices else []
        self.kind = self.value.split(":")[0].split("=")[0].split(" ")[0]  # INT, FLOAT, TEXT or ""


class Help:
    """A --help text: description, usage, sections of entries, and the footer."""

    def __init__(self, text):
        lines = text.rstrip("\n").split("\n")
        self.description = lines[0]
        self.usage = re.sub(r"^Usage: \S+", "orvelle-cli", lines[1])
        self.sections, self.footer = {}, []
        section = None
        i = 2
        while i < len(lines):
            line = lines[i]
            if re.match(r"^[A-Z][A-Za-z]*:$", line):
                section = self.sections.setdefault(line[:-1], [])
            elif line.startswith("  ") and not line.startswith(" " * COLUMN) and section is not None:
                following = lines[i + 1] if i + 1 < len(lines) else ""
                if following.startswith(" " * COLUMN) and following.strip():
                    section.append(Entry(line.strip(), following.strip()))
                    i += 1
                else:
                    section.append(Entry(line[:COLUMN].strip(), line[COLUMN:].strip()))
            elif line.strip() == "":
                if self.footer or section is not None:
                    section = None
            else:
                section = None
                self.footer.append(line)
            i += 1

    def entries(self, name):
        return self.sections.get(name, [])


# ---- man page ------------------------------------------------------------------

def roff(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text[:1] in (".", "'") else text


def man_options(out, entries):
    for e in entries:
        names = ", ".join("\\fB%s\\fR" % roff(n) for n in e.names) if e.names else "\\fI%s\\fR" % roff(e.name)
        value = " \\fI%s\\fR" % roff(e.head.partition(" ")[2]) if e.head.partition(" ")[2] else ""
        out.append(".TP\n%s%s\n%s" % (names, value, roff(e.text)))


def man_page(cli):
    top = Help(run(cli, "--help"))
    version = run(cli, "--version").strip()
    name, _, summary = top.description.partition(": ")
    out = ['.TH ORVELLE\\-CLI 1 "" "%s" "User Commands"' % roff(version),
           ".SH NAME", "orvelle\\-cli \\- %s" % roff(summary or top.description),
           ".SH SYNOPSIS", ".B orvelle\\-cli", "[\\fIOPTIONS\\fR] \\fISUBCOMMAND\\fR [\\fISUBCOMMAND OPTIONS\\fR]",
           ".SH OPTIONS"]
    man_options(out, top.entries("Options"))
    out.append(".SH SUBCOMMANDS")
    for sub in top.entries("Subcommands"):
        h = Help(run(cli, sub.name, "--help"))
        out += [".SS %s" % roff(sub.name), roff(h.description), ".PP", "\\fB%s\\fR" % roff(h.usage)]
        for section in ("Positionals", "Options"):
            if h.entries(section):
                out.append(".PP\n%s:" % section)
                man_options(out, h.entries(section))
        if h.footer:
            out += [".PP", ".nf"] + [roff(line) for line in h.footer] + [".fi"]
    out += [".SH EXIT STATUS", "0 on success, 1 on failure (with a message on standard error), 2 for a usage error.",
            ".SH ENVIRONMENT", ".TP", ".B ORVELLE_THREADS",
            "Threads for pixel work when \\fB\\-\\-threads\\fR is not given; any count gives the same bits."]
    return "\n".join(out) + "\n"


# ---- bash completion -----------------------------------------------------------

def words(items):
    return " ".join(sorted(set(items)))


def bash_completion(cli):
    top = Help(run(cli, "--help"))
    effects = []
    for e in json.loads(run(cli, "effects", "--json")):
        n = e["name"]
        effects.append(n[2:-6].lower() if n.startswith("mv") and n.endswith("Effect") else n)
    global_options = [n for e in top.entries("Options") for n in e.names]
    subs = [e.name for e in top.entries("Subcommands")]
    option_words, value_cases = [], []
    for sub in subs:
        h = Help(run(cli, sub, "--help"))
        option_words.append("    %s) opts=%s ;;" % (sub, json.dumps(words(n for e in h.entries("Options") for n in e.names))))
        for e in h.entries("Options"):
            if not e.kind:
                continue
            pattern = "|".join("%s:%s" % (sub, n) for n in e.names)
            if e.choices:
                action = "COMPREPLY=($(compgen -W %s -- \"$cur\"))" % json.dumps(words(e.choices))
            elif "--effect" in e.names:
                action = "COMPREPLY=($(compgen -W \"$effects\" -- \"$cur\"))"
            elif e.kind in ("INT", "FLOAT") or "=VALUE" in e.text or "WIDTHx" in e.text:
                action = "COMPREPLY=()"
            elif "older" in e.text:
                action = "COMPREPLY=($(compgen -d -- \"$cur\"))"
            else:
                action = "COMPREPLY=($(compgen -f -- \"$cur\"))"
            value_cases.append("    %s) %s; return ;;" % (pattern, action))
    for e in top.entries("Options"):
        if e.kind:
            value_cases.append("    *:%s) COMPREPLY=(); return ;;" % "|*:".join(e.names))
    return """# bash completion for orvelle-cli, made from its --help by scripts/cli-docs.py
_orvelle_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} sub="" opts i
  local effects=%(effects)s
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      %(subs)s) sub=${COMP_WORDS[i]}; break ;;
    esac
  done
  case "$sub:$prev" in
%(values)s
  esac
  case $sub in
%(options)s
    *) opts="" ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$opts %(globals)s" -- "$cur"))
  elif [[ -z $sub ]]; then
    COMPREPLY=($(compgen -W %(subwords)s -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -o filenames -F _orvelle_cli orvelle-cli
""" % dict(effects=json.dumps(words(effects)), subs="|".join(subs), values="\n".join(value_cases),
           options="\n".join(option_words), globals=words(global_options),
           subwords=json.dumps(words(subs)))


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("cli", help="the built orvelle-cli")
    p.add_argument("--man", help="man page to write")
    p.add_argument("--bash-completion", help="bash completion script to write")
    a = p.parse_args()
    for path, make in ((a.man, man_page), (a.bash_completion, bash_completion)):
        if path:
            text = make(a.cli)
            with open(path, "w") as f:
                f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
