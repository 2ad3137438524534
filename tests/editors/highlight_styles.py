#!/usr/bin/python3
"""Highlights .pos sources with one editor's own highlighting engine and
checks the construct of each piece that styles.tsv lists, and that no
character is left unstyled.

    highlight_styles.py ksyntax|gtksourceview5|gtksourceview4|vim SOURCE_DIR

ksyntax runs kate-syntax-highlighter; gtksourceview5 (GNOME Text Editor) and
gtksourceview4 (gedit) load that GtkSourceView's language manager through
its Python bindings, with no display; vim runs Vim in silent Ex mode. Each finds the definition from packaging/editors by
the file name, as the editor does.
"""
import functools
import html
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
# The probe theme and scheme give each style one of these colours.
PROBE_COLOURS = {
    "#000001": "text", "#000002": "comment", "#000003": "keyword",
    "#000004": "key-number", "#000005": "key-name", "#000006": "argument",
}
VIM_GROUPS = {
    "String": "text", "Comment": "comment", "Keyword": "keyword",
    "Function": "key-number", "SpecialChar": "key-name", "Number": "argument",
}
UNSTYLED = "unstyled"


def read_table(path):
    rows = []
    with open(path, encoding="ascii") as table:
        for line in table:
            if line.startswith("#") or not line.strip():
                continue
            file, line_number, column, text, construct = line.rstrip("\n").split("\t")
            rows.append((file, int(line_number), int(column), text, construct))
    return rows


def private_data_dir(work, folder, *files):
    """An XDG data folder holding only FILES in FOLDER."""
    target = os.path.join(work, "data", folder)
    os.makedirs(target, exist_ok=True)
    for file in files:
        shutil.copy(file, target)
    return os.path.join(work, "data")


def isolated_env(work, data_dirs):
    env = dict(os.environ)
    home = os.path.join(work, "home")
    os.makedirs(home, exist_ok=True)
    env.update(HOME=home, XDG_DATA_HOME=os.path.join(home, "data"),
               XDG_CONFIG_HOME=os.path.join(home, "config"), XDG_DATA_DIRS=data_dirs)
    for variable in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(variable, None)
    return env


def by_line(characters):
    """The constructs of (character, construct) pairs, one list per line."""
    lines = [[]]
    for character, construct in characters:
        if character == "\n":
            lines.append([])
        else:
            lines[-1].append(construct)
    return lines if lines[-1] else lines[:-1]


def run(command, env):
    result = subprocess.run(command, env=env, capture_output=True, text=True, timeout=60)
    if result.returncode != 0 or result.stderr.strip():
        said = (result.stderr.strip() or result.stdout.strip())[-2000:]
        raise RuntimeError(f"{command[0]} failed with status {result.returncode}: {said}")
    return result.stdout


def ksyntax_styles(definitions, work, path):
    syntax = private_data_dir(work, "org.kde.syntax-highlighting/syntax",
                              os.path.join(definitions, "lumivane-pos.xml"))
    private_data_dir(work, "org.kde.syntax-highlighting/themes",
                     os.path.join(HERE, "style-probe.theme"))
    env = isolated_env(work, syntax + ":/usr/share")
    page = run(["kate-syntax-highlighter", "--theme", "Lumivane Style Probe", path], env)
    body = page.split("<pre>", 1)[1].rsplit("</pre>", 1)[0].lstrip("\n")
    def characters():
        for piece in re.finditer(r'<span style="([^"]*)">(.*?)</span>|([^<]+)', body):
            colour = re.search(r"color:(#[0-9a-f]{6})", piece.group(1) or "")
            construct = PROBE_COLOURS.get(colour.group(1) if colour else "", UNSTYLED)
            for character in html.unescape(piece.group(2) or piece.group(3) or ""):
                yield character, construct
    return by_line(characters())


def gtksourceview_styles(version, definitions, work, path):
    os.environ.update(isolated_env(work, "/usr/share"), G_DEBUG="fatal-warnings")
    import gi
    gi.require_version("GtkSource", version)
    from gi.repository import GtkSource
    GtkSource.init()
    languages = GtkSource.LanguageManager.new()
    specs = private_data_dir(work, "language-specs", os.path.join(definitions, "lumivane-pos.lang"))
    languages.set_search_path([os.path.join(specs, "language-specs")] + languages.get_search_path())
    by_name = languages.guess_language(path, None)
    by_type = languages.guess_language(None, "text/x-lumivane-pos")
    if not by_name or by_name.get_id() != "lumivane-pos" or by_type != by_name:
        raise RuntimeError("the language manager does not give lumivane-pos for *.pos and text/x-lumivane-pos")
    schemes = GtkSource.StyleSchemeManager.new()
    schemes.set_search_path([HERE])
    buffer = GtkSource.Buffer.new_with_language(by_name)
    buffer.set_style_scheme(schemes.get_scheme("lumivane-style-probe"))
    with open(path, encoding="cp1252") as source:
        buffer.set_text(source.read())
    buffer.ensure_highlight(buffer.get_start_iter(), buffer.get_end_iter())
    def construct_at(position):
        coloured = [tag for tag in position.get_tags() if tag.props.foreground_set]
        if not coloured:
            return UNSTYLED
        rgba = max(coloured, key=lambda tag: tag.get_priority()).props.foreground_rgba
        return PROBE_COLOURS.get("#%02x%02x%02x" % tuple(
            round(channel * 255) for channel in (rgba.red, rgba.green, rgba.blue)), UNSTYLED)

    def characters():
        position = buffer.get_start_iter()
        while not position.is_end():
            yield position.get_char(), construct_at(position)
            position.forward_char()
    return by_line(characters())


def vim_styles(definitions, work, path):
    env = isolated_env(work, "/usr/share")
    env["STYLES_OUT"] = os.path.join(work, "vim-styles.txt")
    # Silent Ex mode prints no error messages: the dump names the last one.
    status = subprocess.run(
        ["vim", "-N", "-u", "NONE", "-i", "NONE", "-n", "-es",
         "--cmd", "set runtimepath^=" + os.path.join(definitions, "vim"),
         "--cmd", "filetype on", "--cmd", "syntax on",
         "-S", os.path.join(HERE, "vim_styles.vim"), path],
        env=env, capture_output=True, timeout=60).returncode
    with open(env["STYLES_OUT"], encoding="ascii") as dump:
        filetype, error, *lines = dump.read().split("\n")[:-1]
    if status != 0 or filetype != "lumivane-pos" or error:
        raise RuntimeError(f"vim exited with {status}; the filetype is {filetype!r}, the last error {error!r}")
    return [[VIM_GROUPS.get(group, UNSTYLED) for group in line.split()] for line in lines]


ENGINES = {
    "ksyntax": ksyntax_styles,
    "gtksourceview5": functools.partial(gtksourceview_styles, "5"),
    "gtksourceview4": functools.partial(gtksourceview_styles, "4"),
    "vim": vim_styles,
}


def failures(engine, source_dir):
    definitions = os.path.join(source_dir, "packaging", "editors")
    rows = read_table(os.path.join(HERE, "styles.tsv"))
    found = []
    for file in dict.fromkeys(row[0] for row in rows):
        path = os.path.join(source_dir, file)
        with open(path, encoding="cp1252") as source:
            text_lines = source.read().split("\n")
        with tempfile.TemporaryDirectory(prefix="lumivane-highlight-") as work:
            styles = ENGINES[engine](definitions, work, path)
        for number, (text, line_styles) in enumerate(zip(text_lines, styles), 1):
            if len(line_styles) != len(text) or UNSTYLED in line_styles:
                found.append(f"{file}:{number}: unstyled or lost characters: {line_styles}")
        for _, line, column, text, construct in (row for row in rows if row[0] == file):
            if text_lines[line - 1][column - 1:column - 1 + len(text)] != text:
                found.append(f"{file}:{line}:{column}: the table's {text!r} is not there")
                continue
            got = set(styles[line - 1][column - 1:column - 1 + len(text)])
            if got != {construct}:
                found.append(f"{file}:{line}:{column}: {text!r} is {sorted(got)}, not {construct}")
    return found


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ENGINES:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        found = failures(sys.argv[1], os.path.abspath(sys.argv[2]))
    except FileNotFoundError as error:
        print(f"{sys.argv[1]}: {error.filename} is missing (scripts/setup installs it)", file=sys.stderr)
        return 1
    except ImportError as error:
        print(f"{sys.argv[1]}: {error} (scripts/setup installs python3-gi and GtkSourceView's gir1.2-gtksource-*)", file=sys.stderr)
        return 1
    except (RuntimeError, OSError, ValueError, subprocess.TimeoutExpired) as error:
        print(f"{sys.argv[1]}: {error}", file=sys.stderr)
        return 1
    for failure in found:
        print(failure, file=sys.stderr)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
