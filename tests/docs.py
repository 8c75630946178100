"""The documents check: every Markdown document of the project and
release/README.txt.in name exactly the listed functions' declaration texts,
where they name any; every relative link in a Markdown document leads to a
file or folder that exists; the layer table of docs/building.md names
exactly the workflow presets of CMakePresets.json, the one list of layers.

    python3 tests/docs.py
"""
import json
import re

from check import ROOT, Refused, expect, functions, run

DECLARATION = re.compile(r"(?:String|Numeric|Date) [A-Za-z_]\w*\([\w ,]*\)")


def check_declarations(what, text):
    """Refused unless `text` names no declaration, or exactly the listed
    ones (each document that names one names all, docs/adding.md)."""
    named = list(dict.fromkeys(DECLARATION.findall(text)))
    if named:
        expect(f"{what} names the declarations", named, [d for _, d in functions()])


def main():
    building = (ROOT / "docs/building.md").read_text()
    table = building.split("\n## The layers\n")[1].split("\n## ")[0]
    expect("docs/building.md's layers, against the workflow presets of CMakePresets.json",
           re.findall(r"^\| `([^`]+)` \|", table, re.MULTILINE),
           [w["name"] for w in json.loads((ROOT / "CMakePresets.json").read_text())["workflowPresets"]])
    documents = list(ROOT.glob("*.md")) + [p for folder in ROOT.iterdir() if folder.is_dir()
                                           and not folder.name.startswith(("build", ".")) for p in folder.rglob("*.md")]
    for path in documents + [ROOT / "release/README.txt.in"]:
        name, text = path.relative_to(ROOT), path.read_text()
        check_declarations(name, text)
        for target in re.findall(r"\]\(([^)# ]+)", text) if path.suffix == ".md" else []:
            if not re.match(r"[a-z]+:", target) and not (path.parent / target).exists():
                raise Refused(f"{name}: the link {target} leads nowhere")
    return f"{len(documents) + 1} documents: the declarations and the links hold"


if __name__ == "__main__":
    run(main)
