"""Tests of the fixture builder (python3 -m unittest discover -s tools/tests -t tools)."""
