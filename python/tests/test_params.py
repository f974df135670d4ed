"""Parameters by name against the simulated cameras: values, limits, choices, refusals."""

import math

import pytest
from hypothesis import given
from hypothesis import strategies as st

import qxcm
from qxcm._errors import signed32

OUTOFRANGE, INVALIDVALUE, NOTWRITABLE = (signed32(c) for c in (0x80000822, 0x80000821,
                                                                  0x80000823))


def test_every_listed_parameter_reports_sane_limits_and_list_choices_round_trip(cam0):
    assert {"EXPOSURE TIME", "BINNING", "TRIGGER SOURCE", "IMAGE ROWBYTES"} <= set(cam0.params)
    for name, p in cam0.params.items():
        limits = p.limits
        assert p.name == name and limits.min <= limits.max, name
        if p.choices is None or not p.writable:
            continue
        for text, value in p.choices.items():
            if name in ("SENSOR MODE", "IMAGE PIXEL TYPE") and value != limits.default:
                continue  # they change the frame layout; covered by the frame tests
            p.value = text
            assert (p.value, p.text) == (value, text), name
        p.value = limits.default


@pytest.mark.parametrize("name, value, code", [
    ("EXPOSURE TIME", 11.0, OUTOFRANGE),
    ("EXPOSURE TIME", -1.0, OUTOFRANGE),
    ("EXPOSURE TIME", math.nan, INVALIDVALUE),
    ("EXPOSURE TIME", math.inf, INVALIDVALUE),
    ("TEST PATTERN OPTION", 2.0**31, OUTOFRANGE),
    ("TEST PATTERN OPTION", 0.5, INVALIDVALUE),
    ("TRIGGER SOURCE", 5.0, OUTOFRANGE),
    ("IMAGE WIDTH", 100.0, NOTWRITABLE),
])
def test_refused_writes_raise_the_devices_code_and_keep_the_value(cam0, name, value, code):
    p = cam0.params[name]
    before = p.value
    with pytest.raises(qxcm.QxcmError) as e:
        p.value = value
    assert (e.value.code, e.value.function) == (code, "QXCM_SETPARAMETER_40")
    assert e.value.text and p.value == before


@given(st.floats(allow_nan=True, allow_infinity=True) | st.floats(min_value=1e-5, max_value=10))
def test_any_exposure_either_round_trips_or_is_refused_unchanged(cam0, value):
    before = cam0.exposure
    if 1e-5 <= value <= 10:
        cam0.exposure = value
        assert cam0.exposure == pytest.approx(value, rel=1e-9, abs=1e-6)
        return
    with pytest.raises(qxcm.QxcmError) as e:
        cam0.exposure = value
    assert e.value.code in (OUTOFRANGE, INVALIDVALUE) and cam0.exposure == before


def test_common_attributes_and_unknown_names_and_texts(cam0):
    with pytest.raises(ValueError, match="SOFTWARE"):
        cam0.params["TRIGGER SOURCE"].value = "SOFTWRE"
    cam0.binning = "2X2"
    assert (cam0.binning, cam0.params["BINNING"].text) == (2, "2X2")
    cam0.trigger = "SOFTWARE"
    assert cam0.trigger.source == "SOFTWARE"
    cam0.trigger.polarity = 2
    assert cam0.trigger.polarity == "POSITIVE"
