"""The server's knobs (section [server] of nwsim.ini) and the loopback check."""

import configparser
import ipaddress

import os

DEFAULTS = {"refuse": False, "busy": False, "delay_seconds": 0.0, "drop_after_seconds": 0.0,
            "drop_after_lines": 0, "drop_sessions": 0, "drop_skip_sessions": 0, "drop_tool": "", "stamp": None}


def is_loopback(address):
    try:
        return ipaddress.ip_address(address).is_loopback
    except ValueError:
        return False


def _flag(text):
    return text.strip().lower() in ("1", "yes", "true", "on")


def _number(text, kind):
    try:
        value = kind(text.split(";")[0].strip())
    except ValueError:
        return kind(0)
    return value if value > 0 else kind(0)


def read_server_knobs(path):
    """Knobs from the file, re-read for every connection; a missing or broken file means defaults."""
    result = dict(DEFAULTS)
    if not path:
        return result
    parser = configparser.ConfigParser(interpolation=None, delimiters=("=",), comment_prefixes=(";", "#"),
                                       inline_comment_prefixes=(";",), strict=False)
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            parser.read_file(f)
    except (OSError, configparser.Error):
        return result
    if not parser.has_section("server"):
        return result
    sec = parser["server"]
    # Sessions subject to the drop knobs are counted per version of the file (its change time).
    try:
        result["stamp"] = os.stat(path).st_mtime_ns
    except OSError:
        pass
    result["refuse"] = _flag(sec.get("refuse", "no"))
    result["busy"] = _flag(sec.get("busy", "no"))
    result["delay_seconds"] = _number(sec.get("delay_seconds", "0"), float)
    result["drop_after_seconds"] = _number(sec.get("drop_after_seconds", "0"), float)
    result["drop_after_lines"] = _number(sec.get("drop_after_lines", "0"), int)
    result["drop_sessions"] = _number(sec.get("drop_sessions", "0"), int)
    result["drop_skip_sessions"] = _number(sec.get("drop_skip_sessions", "0"), int)
    result["drop_tool"] = sec.get("drop_tool", "").split(";")[0].strip().lower()
    return result
