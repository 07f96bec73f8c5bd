"""The groups of a class's methods, as the type stubs mark them with comment lines.

In the stubs a comment line on its own at the indentation of a class's body, such as
``# robot operations``, starts a group that runs until the next such comment. A class with two
or more of them is grouped that way in the reference (the class template asks
``stub_groups``); a class with fewer is shown in the stubs' order without headings.

The title of a group is its comment up to the first ";" or ":" with a capital first letter,
and what follows that is its description: ``# motions: the plain forms wait ...`` is the group
"Motions", described as "the plain forms wait ...".
"""

from __future__ import annotations

import ast
import io
import tokenize
from pathlib import Path


def _title_and_text(comment: str) -> tuple[str, str]:
    text = comment.lstrip("#").strip()
    cut = min((i for i in (text.find(";"), text.find(":")) if i >= 0), default=len(text))
    title, rest = text[:cut].strip(), text[cut + 1:].strip()
    return title[:1].upper() + title[1:], rest + ("." if rest and rest[-1] != "." else "")


def stub_groups(path: Path) -> dict[str, list[dict]]:
    """{class name: [{"title", "text", "members": [names]}, ...]} for each grouped class."""
    source = path.read_text(encoding="utf-8")
    comments = {}  # line -> (column, text) of each comment that stands alone on its line
    for token in tokenize.generate_tokens(io.StringIO(source).readline):
        if token.type == tokenize.COMMENT and not token.line[: token.start[1]].strip():
            comments[token.start[0]] = (token.start[1], token.string)
    groups: dict[str, list[dict]] = {}
    for node in ast.walk(ast.parse(source)):
        if not isinstance(node, ast.ClassDef) or not node.body:
            continue
        indent = node.body[0].col_offset
        found: list[dict] = []
        previous_end = node.body[0].lineno - 1
        for statement in node.body:
            first = min([statement.lineno] + [d.lineno for d in getattr(statement, "decorator_list", [])])
            starts = [line for line in range(previous_end + 1, first)
                      if line in comments and comments[line][0] == indent]
            if starts:
                # A comment of several lines is one group: its first line names it.
                block_start = starts[0]
                title, text = _title_and_text(" ".join(comments[line][1].lstrip("#").strip() for line in starts))
                found.append({"title": title, "text": text, "members": [], "line": block_start})
            if found and isinstance(statement, (ast.FunctionDef, ast.ClassDef)):
                if statement.name not in found[-1]["members"]:
                    found[-1]["members"].append(statement.name)
            previous_end = statement.end_lineno
        if len(found) >= 2:
            groups[node.name] = found
    return groups
