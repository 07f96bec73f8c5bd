"""The module liborvek as a whole: its names, its classes' metadata, re-import and interpreters,
and the exception raised for internal failures."""

import importlib
import subprocess
import sys
import textwrap

import pytest

import liborvek

NAMES = ["OrvekRobot", "Pose", "LoadState", "ArmState", "MotionType", "ControlType", "test_closure"]
CLASSES = ["OrvekRobot", "Pose", "LoadState", "ArmState", "MotionType", "ControlType"]

# Nothing listens on this loopback address, so a robot cannot be made there.
NOWHERE = "127.0.251.251"


def test_public_names_and_all_in_order():
    assert liborvek.__all__ == NAMES
    assert sorted(n for n in dir(liborvek) if not n.startswith("_")) == sorted(NAMES)
    assert liborvek.__doc__ == ""


def test_reimport_returns_the_same_module_and_classes():
    first = liborvek
    classes = [getattr(first, name) for name in NAMES]
    del sys.modules["liborvek"]
    try:
        again = importlib.import_module("liborvek")
    finally:
        sys.modules["liborvek"] = first
    assert again is first
    assert [getattr(again, name) for name in NAMES] == classes
    assert all(a is b for a, b in zip([getattr(again, n) for n in NAMES], classes))


# Defines in_sub_interpreter(config, code): the type name and message of the exception that `code`
# raised in a new sub-interpreter ("legacy", or "isolated": own GIL, no single-phase extension
# modules), or None. Each interpreter has its own private module for sub-interpreters.
SUB_INTERPRETER = textwrap.dedent(
    """
    def in_sub_interpreter(config, code):
        try:
            import _interpreters
        except ModuleNotFoundError:  # before 3.13: the failure is raised as "<class 'T'>: message"
            import _xxsubinterpreters as interpreters
            interp = interpreters.create(isolated=config == "isolated")
            try:
                interpreters.run_string(interp, code)
            except interpreters.RunFailedError as error:
                kind, _, message = str(error).partition(": ")
                return kind.removeprefix("<class '").removesuffix("'>"), message
            finally:
                interpreters.destroy(interp)
            return None
        interp = _interpreters.create(config)
        failure = _interpreters.run_string(interp, code)
        _interpreters.destroy(interp)
        return failure and (failure.type.__name__, failure.msg)
    """
)


@pytest.mark.parametrize("config", ["legacy", "isolated"])
def test_sub_interpreter_import_is_refused(config):
    script = SUB_INTERPRETER + textwrap.dedent(
        f"""
        import liborvek
        kind, message = in_sub_interpreter({config!r}, "import liborvek")
        print(kind)
        print(message)
        print(liborvek.Pose.Position([1, 2, 3])._0)
        """
    )
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    kind, message, still_works = done.stdout.splitlines()
    assert kind == "ImportError"
    assert "not support" in message and "interpreters" in message
    assert still_works == "[1.0, 2.0, 3.0]"


def test_sub_interpreter_first_the_interpreter_that_initialises_the_module_keeps_it():
    # From 3.13 on, CPython runs the initialisation of a single-phase module that a sub-interpreter
    # imports in the main interpreter first: the main interpreter keeps the module and the
    # sub-interpreter is refused. Before, the sub-interpreter initialises it and keeps it, and the
    # main interpreter is the one refused.
    script = SUB_INTERPRETER + textwrap.dedent(
        """
        print(in_sub_interpreter("legacy", "import liborvek; assert liborvek.__all__[0] == 'OrvekRobot'"))
        try:
            import liborvek
        except ImportError as error:
            print(f"ImportError: {error}")
        else:
            print(liborvek.__all__[0])
        """
    )
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    refusal = "liborvek does not support sub-interpreters: it is already loaded in another interpreter of this process"
    if sys.version_info >= (3, 13):
        assert done.stdout.splitlines() == [str(("ImportError", refusal)), "OrvekRobot"]
    else:
        assert done.stdout.splitlines() == ["None", f"ImportError: {refusal}"]


@pytest.mark.parametrize("name", CLASSES)
def test_classes_live_in_builtins_and_refuse_new_attributes(name):
    cls = getattr(liborvek, name)
    assert cls.__module__ == "builtins"
    assert cls.__name__ == cls.__qualname__ == name
    assert repr(cls) == f"<class '{name}'>"
    with pytest.raises(TypeError):
        setattr(cls, "extra", 1)


@pytest.mark.parametrize("name", CLASSES)
def test_classes_cannot_be_subclassed(name):
    with pytest.raises(TypeError, match=f"type '{name}' is not an acceptable base type"):
        type("Derived", (getattr(liborvek, name),), {})


def test_robot_class_signature():
    robot = liborvek.OrvekRobot
    assert robot.__text_signature__ == "(ip)"
    assert robot.__doc__ is None


def test_robot_constructor_arguments():
    with pytest.raises(TypeError, match=r"^argument 'ip': 'int' object cannot be converted to 'PyString'$"):
        liborvek.OrvekRobot(1)
    with pytest.raises(TypeError, match=r"^OrvekRobot.__new__\(\) missing 1 required positional argument: 'ip'$"):
        liborvek.OrvekRobot()
    with pytest.raises(TypeError, match=r"^OrvekRobot.__new__\(\) got an unexpected keyword argument 'host'$"):
        liborvek.OrvekRobot(host=NOWHERE)


def test_test_closure_metadata_and_arguments():
    f = liborvek.test_closure
    assert f.__module__ == "liborvek"
    assert f.__name__ == "test_closure"
    assert f.__text_signature__ == "(closure)"
    assert f.__doc__ is None
    with pytest.raises(TypeError, match=r"^test_closure\(\) missing 1 required positional argument: 'closure'$"):
        f()
    with pytest.raises(TypeError, match=r"^test_closure\(\) takes 1 positional argument but 2 were given$"):
        f(1, 2)
    with pytest.raises(TypeError, match=r"^test_closure\(\) got an unexpected keyword argument 'fn'$"):
        f(fn=1)
    with pytest.raises(TypeError, match=r"^test_closure\(\) got multiple values for argument 'closure'$"):
        f(1, closure=1)


def test_internal_failure_is_a_panic_exception_outside_exception():
    # A robot that cannot be created fails with the library's internal-failure exception.
    with pytest.raises(BaseException) as caught:
        try:
            liborvek.OrvekRobot(NOWHERE)
        except Exception:  # noqa: BLE001 - must not catch it
            pytest.fail("PanicException was caught by `except Exception`")
    error = caught.value
    panic = type(error)
    assert panic.__name__ == "PanicException"
    assert panic.__module__ == "liborvek"
    assert issubclass(panic, BaseException) and not issubclass(panic, Exception)
    assert len(error.args) == 1 and isinstance(error.args[0], str) and error.args[0]
    assert not hasattr(liborvek, "PanicException")
    # The same class on every failure, and it can be raised and caught from Python.
    with pytest.raises(panic) as again:
        liborvek.OrvekRobot(NOWHERE)
    assert type(again.value) is panic
    with pytest.raises(panic, match="^raised by hand$"):
        raise panic("raised by hand")


def test_every_class_method_and_property_of_the_stubs_has_a_docstring():
    import ast
    from pathlib import Path

    # The stubs installed beside the module (what an editor reads), else the source tree's.
    installed = Path(liborvek.__file__).parent / "liborvek-stubs" / "__init__.pyi"
    source = Path(__file__).resolve().parents[2] / "src/ffi/liborvek-stubs/__init__.pyi"
    stubs = installed if installed.is_file() else source
    missing = []
    for node in ast.walk(ast.parse(stubs.read_text(encoding="utf-8"))):
        if not isinstance(node, (ast.ClassDef, ast.FunctionDef)):
            continue
        if any(isinstance(d, ast.Attribute) and d.attr == "setter" for d in node.decorator_list):
            continue  # a property's docstring is its getter's
        if ast.get_docstring(node) is None:
            missing.append(f"{node.name} (line {node.lineno})")
    assert missing == []
