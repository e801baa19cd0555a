"""The crawl settings' keys as the program declares them (src/engine/CrawlSettingKeys.h): K.timeout
is the declared key of that name, and a misspelt key raises AttributeError rather than writing a
setting that no scan reads."""
import pathlib
import re

_DECLARATIONS = pathlib.Path(__file__).resolve().parents[2] / "src" / "engine" / "CrawlSettingKeys.h"


class _Keys:
    def __init__(self):
        names = re.findall(r"^\s*X\((\w+)\)", _DECLARATIONS.read_text(), re.M)
        if len(names) < 50:
            raise RuntimeError("read only %d setting keys from %s" % (len(names), _DECLARATIONS))
        self.__dict__.update({name: name for name in names})

    def __getattr__(self, name):
        raise AttributeError("no crawl setting is named %r" % name)


K = _Keys()
