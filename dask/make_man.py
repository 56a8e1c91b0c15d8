"""Writes velpin-dask's manual page from the command line it parses with:
make_man.py VELPIN-DASK MAN-PAGE"""

import re
import runpy
import sys

EXAMPLES = [
    ("Scan a collection on this machine, one worker process per processor:",
     "find /srv/swf -type f | LC_ALL=C sort > manifest && "
     "velpin-dask --inflate --out /srv/scan --files-from manifest"),
    ("The same on a running cluster, whose machines all see /srv at the same path:",
     "velpin-dask --scheduler tcp://head:8786 --inflate --out /srv/scan --files-from manifest"),
    ("Read the rows in order:", "cat /srv/scan/part-*.jsonl"),
]


def roff(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text.startswith((".", "'")) else text


def shown(action):
    if not action.option_strings:
        return action.metavar + "..."
    names = ", ".join(action.option_strings)
    return names if action.nargs == 0 else names + " " + action.metavar


def check_synopsis(parser):
    """The synopsis is written by hand, for its order and SCAN-OPTIONS; it must name every
    option the parser takes, or the page would hide one."""
    named = set(re.findall(r"-[-\w]+", parser.usage))
    for action in parser._actions:
        names = [name for name in action.option_strings if name not in ("-h", "--help")]
        if names and named.isdisjoint(names):
            sys.exit("make_man.py: the synopsis leaves out " + names[-1])


def write(parser, out):
    out.write('.TH VELPIN\\-DASK 1 "" "velpin-dask" "User Commands"\n'
              ".SH NAME\nvelpin\\-dask \\- run velpin\\-cli scan on a Dask cluster\n"
              ".SH SYNOPSIS\n.B " + roff(parser.usage) + "\n"
              ".SH DESCRIPTION\n" + roff(parser.description) + "\n")
    for group in parser._action_groups:
        actions = [action for action in group._group_actions]
        if not actions:
            continue
        out.write(".SH " + roff(group.title.upper()) + "\n")
        if group.description:
            out.write(roff(group.description) + "\n")
        for action in actions:
            text = action.help % {"default": action.default} if action.help else ""
            out.write(".TP\n.B " + roff(shown(action)) + "\n" + roff(text) + "\n")
    out.write(".SH EXIT STATUS\n" + roff(parser.epilog) + "\n.SH EXAMPLES\n")
    for task, command in EXAMPLES:
        out.write(roff(task) + "\n.PP\n.RS\n.B " + roff(command) + "\n.RE\n.PP\n")
    out.write(".SH SEE ALSO\n.BR velpin\\-cli (1),\n.BR dask\\-scheduler (1),\n"
              ".BR dask\\-worker (1)\n")


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_man.py VELPIN-DASK MAN-PAGE")
    parser = runpy.run_path(sys.argv[1], run_name="velpin_dask_docs")["build_parser"]()
    check_synopsis(parser)
    with open(sys.argv[2], "w", encoding="utf-8") as out:
        write(parser, out)


if __name__ == "__main__":
    main()
