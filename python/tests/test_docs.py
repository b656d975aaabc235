"""The docstring examples of every public function run as doctests, in a copy of the
example run's folder, and every public function has numpydoc sections."""
import doctest
import os
import shutil

import numpy as np
import pytest

import halvex
from halvex import gridding

PUBLIC = [getattr(halvex, n) for n in halvex.__all__ if callable(getattr(halvex, n)) and n[0].islower()]
PUBLIC += [gridding.find_library, gridding.library_version, gridding.grid_frame]


@pytest.mark.parametrize("function", PUBLIC, ids=[f.__name__ for f in PUBLIC])
def test_docstring_examples(function, example_run, tmp_path, monkeypatch):
    doc = function.__doc__ or ""
    assert "Examples\n    --------\n" in doc and ("Returns\n" in doc or "Parameters\n" in doc), function.__name__
    work = tmp_path / "run"
    shutil.copytree(example_run, work)
    monkeypatch.chdir(work)
    test = doctest.DocTestParser().get_doctest(doc, {"halvex": halvex, "np": np, "os": os}, function.__name__,
                                               None, 0)
    assert test.examples
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE)
    runner.run(test, out=lambda text: pytest.fail(text, pytrace=False))
    assert runner.summarize(verbose=False).failed == 0
