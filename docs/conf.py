"""Sphinx configuration of the manual (make docs builds it into build/docs/html).

- Pages are Markdown (MyST), so that a forge shows docs/*.md too.
- The Python reference is sphinx-autoapi's reading of the type stubs that ship in the wheel
  (src/ffi/liborvek-stubs): what an editor shows is what the reference shows. The module is
  never imported: its own docstrings are its text signatures.
- The C++ reference is Breathe's rendering of Doxygen's XML of the installed headers: the
  folder include/liborvek/, which the C++ package installs whole.
- Every warning is an error (make docs runs sphinx-build -W): an unresolved reference, a
  missing include, a page in no table of contents.
"""

from __future__ import annotations

import re
import shutil
import subprocess
import sys
from pathlib import Path

DOCS = Path(__file__).resolve().parent
REPO = DOCS.parent
OUT = REPO / "build" / "docs"
sys.path.insert(0, str(DOCS / "_ext"))

from stub_groups import stub_groups  # noqa: E402

project = "liborvek"
author = "the liborvek developers"
copyright = "the liborvek developers, Apache-2.0"
release = re.search(r'^version = "([^"]+)"', (REPO / "pyproject.toml").read_text(), re.M)[1]
version = release

extensions = [
    "myst_parser",
    "autoapi.extension",
    "breathe",
]
source_suffix = {".md": "markdown", ".rst": "restructuredtext"}
root_doc = "index"
exclude_patterns = ["_build", "_templates", "_ext", "Doxyfile"]
templates_path = ["_templates"]
myst_heading_anchors = 3
myst_enable_extensions = ["colon_fence", "deflist"]
# In the reStructuredText that autoapi writes from the stubs' docstrings, `name` is code.
default_role = "literal"
nitpicky = True
# Names of Python's standard library and of the C++ standard library, which this site does
# not document (it has no network to fetch their inventories from); every name of liborvek
# must resolve.
nitpick_ignore = [("py:class", name) for name in (
    "Self", "typing_extensions.Self", "NoReturn", "typing.NoReturn", "Final", "typing.Final",
    "SupportsFloat", "typing.SupportsFloat", "SupportsIndex", "typing.SupportsIndex",
    "collections.abc.Sequence", "collections.abc.Callable", "float", "int", "str", "bool", "list",
    "tuple", "object",
)]
nitpick_ignore_regex = [("cpp:identifier", r"std(::.*)?"), ("cpp:identifier", r"size_t|uint8_t|uint64_t")]
# The transport, which one constructor of OrvekRobot names for the library's own tests, is not
# part of the installed interface (only declared there).
nitpick_ignore += [("cpp:identifier", "NetWork")]

# --- the Python reference, from the stubs ------------------------------------------------------
STUBS = REPO / "src" / "ffi" / "liborvek-stubs" / "__init__.pyi"
STUB_PACKAGE = OUT / "stubs"
# The stub package is named liborvek-stubs (PEP 561); autoapi takes the folder's name for the
# module's, so the file is read as liborvek/__init__.pyi, unchanged.
shutil.rmtree(STUB_PACKAGE, ignore_errors=True)
(STUB_PACKAGE / "liborvek").mkdir(parents=True)
shutil.copyfile(STUBS, STUB_PACKAGE / "liborvek" / "__init__.pyi")

autoapi_type = "python"
autoapi_dirs = [str(STUB_PACKAGE)]
autoapi_file_patterns = ["*.pyi"]
autoapi_root = "reference/python"
autoapi_template_dir = "_templates/autoapi"
autoapi_add_toctree_entry = False
autoapi_keep_files = False
autoapi_member_order = "bysource"
autoapi_python_class_content = "class"
autoapi_options = ["members", "undoc-members", "private-members", "special-members", "show-module-summary"]
_groups = stub_groups(STUBS)

# autoapi reads each class's ancestors to merge inherited members, and does so again for every
# nested class it meets on the way: the stubs' variant classes (Pose.Euler, ...) derive from the
# class that encloses them, which takes it minutes of repeated work on seven variants. The
# reference shows no inherited members, and every member of the stubs has its own docstring, so
# the ancestors add nothing: they are not read. (A renamed hook fails here, not silently.)
import autoapi._parser  # noqa: E402

assert callable(autoapi._parser.Parser._relevant_ancestors)
autoapi._parser.Parser._relevant_ancestors = lambda self, node: iter(())


def _prepare_jinja_env(env):
    env.globals["stub_groups"] = _groups


autoapi_prepare_jinja_env = _prepare_jinja_env

# --- the C++ reference, from the installed headers -------------------------------------------------
INCLUDE = REPO / "include"  # include/liborvek/ is exactly what the C++ package installs
DOXYGEN_XML = OUT / "doxygen" / "xml"
shutil.rmtree(DOXYGEN_XML.parent, ignore_errors=True)
DOXYGEN_XML.parent.mkdir(parents=True)
_doxyfile = (DOCS / "Doxyfile").read_text() + (
    f'\nINPUT = "{INCLUDE}"\nSTRIP_FROM_PATH = "{INCLUDE}"\nSTRIP_FROM_INC_PATH = "{INCLUDE}"\n'
    f'OUTPUT_DIRECTORY = "{DOXYGEN_XML.parent}"\nXML_OUTPUT = xml\n')
_doxygen = subprocess.run(["doxygen", "-"], input=_doxyfile, text=True, capture_output=True)
if _doxygen.returncode != 0 or _doxygen.stderr.strip():
    raise RuntimeError(f"doxygen failed on the installed headers:\n{_doxygen.stderr}{_doxygen.stdout}")

breathe_projects = {"liborvek": str(DOXYGEN_XML)}
breathe_default_project = "liborvek"
breathe_default_members = ("members", "undoc-members")
breathe_show_include = False
breathe_domain_by_extension = {"hpp": "cpp"}
cpp_index_common_prefix = ["orvek::", "robot_behavior::"]

# --- pages -------------------------------------------------------------------------------------
html_theme = "furo"
html_title = f"liborvek {release}"
html_short_title = "liborvek"
html_favicon = "_static/favicon.svg"
html_static_path = ["_static"]
html_css_files = ["reference.css"]
html_copy_source = False
html_show_sourcelink = False
html_theme_options = {
    "navigation_with_keys": True,
    "top_of_page_buttons": [],
}
pygments_style = "friendly"
pygments_dark_style = "monokai"


def _show_type_aliases(app, what, name, obj, skip, options):
    """The stubs' type aliases (_Float, _Floats, the realtime function types) are not module
    names (__all__ leaves them out), but every signature that uses them links to them."""
    if what == "data" and obj.is_type_alias():
        return False
    return None


def setup(app):
    app.connect("autoapi-skip-member", _show_type_aliases)
