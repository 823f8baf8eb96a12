#!/usr/bin/python3
"""Checks the includes of the sources against the layering of the project.

Library subsystems (src/algoMesh/<subsystem>) may include their own headers and those of
the subsystems below them in ALLOWED; platform substitutes (src/platform/<component>)
never include the library and only the components listed in PLATFORM_ALLOWED; the PLY
layer (RPly) stays private to the library's sources, so neither a public library header
nor the command-line tool includes it. A new upward include fails the check with the file,
line and the rule it breaks.

Usage: check_includes.py ROOT     checks the tree at ROOT
       check_includes.py --self-test
"""
import os
import re
import shutil
import sys
import tempfile

# Subsystem -> subsystems it may include (its own headers are always allowed). The frame is
# the floor; assembly sits below everything that needs one welded mesh or a conversion.
ALLOWED = {
    "frame": set(),
    "quality": {"frame"},
    "assembly": {"frame"},
    "checks": {"frame", "quality"},
    "envelopes": {"frame", "assembly"},
    "decimation": {"frame", "assembly"},
    "repair": {"frame", "assembly"},
    "generation": {"frame", "assembly"},
    "exchange": {"frame", "assembly"},
    "obfuscation": {"frame", "assembly", "generation"},
}

# Platform component -> components it may include. ActiveDataAPI (progress and messages)
# is the platform's floor.
PLATFORM_ALLOWED = {
    "ActiveDataAPI": set(),
    "algoBase": {"ActiveDataAPI"},
    "RPly": set(),
    "BVHTools": {"ActiveDataAPI"},
    "TKMorv": {"ActiveDataAPI"},
    "SurfaceWrapping": {"ActiveDataAPI", "BVHTools"},
    "TKZeltMesh": {"ActiveDataAPI", "algoBase"},
    "JT": {"ActiveDataAPI"},
}

PRIVATE_COMPONENTS = {"RPly"}
HEADER_SUFFIXES = (".hxx", ".pxx", ".lxx", ".gxx")
SOURCE_SUFFIXES = HEADER_SUFFIXES + (".cxx", ".cpp")
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]')


KINDS = (("library", "src/algoMesh"), ("platform", "src/platform"))


def components(root):
    """Yields (kind, component, directory) for every component folder under the tree."""
    for kind, base in KINDS:
        base_dir = os.path.join(root, base)
        if not os.path.isdir(base_dir):
            continue
        for component in sorted(os.listdir(base_dir)):
            directory = os.path.join(base_dir, component)
            if os.path.isdir(directory):
                yield kind, component, directory


def owners(root):
    """Header file name -> (kind, component), kind 'library' or 'platform'."""
    owner = {}
    for kind, component, directory in components(root):
        for name in os.listdir(directory):
            if name.endswith(HEADER_SUFFIXES):
                owner[name] = (kind, component)
    return owner


def includes(path):
    with open(path, encoding="utf-8", errors="replace") as stream:
        for number, line in enumerate(stream, 1):
            match = INCLUDE.match(line)
            if match:
                yield number, os.path.basename(match.group(1))


def sources(directory):
    for dirpath, _, names in os.walk(directory):
        for name in sorted(names):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.join(dirpath, name)


def check_acyclic(graph, what):
    """Errors for a cycle in a dependency table."""
    state = {}

    def visit(node, trail):
        if state.get(node) == "done":
            return []
        if state.get(node) == "open":
            return ["%s dependency cycle: %s" % (what, " -> ".join(trail + [node]))]
        state[node] = "open"
        errors = []
        for below in sorted(graph.get(node, ())):
            errors += visit(below, trail + [node])
        state[node] = "done"
        return errors

    errors = []
    for node in sorted(graph):
        errors += visit(node, [])
    return errors


def check(root):
    errors = check_acyclic(ALLOWED, "subsystem") + check_acyclic(PLATFORM_ALLOWED, "platform")
    owner = owners(root)

    tables = {"library": ALLOWED, "platform": PLATFORM_ALLOWED}
    for kind, component, directory in components(root):
        allowed = tables[kind]
        if component not in allowed:
            errors.append("%s: %s component '%s' has no row in the layering table"
                          % (os.path.relpath(directory, root), kind, component))
            continue
        for path in sources(directory):
            relative = os.path.relpath(path, root)
            is_public_header = kind == "library" and path.endswith(".hxx")
            for line, header in includes(path):
                if header not in owner:
                    continue
                other_kind, other = owner[header]
                where = "%s:%d: includes %s" % (relative, line, header)
                if kind == "platform" and other_kind == "library":
                    errors.append("%s: a platform substitute never includes the library"
                                  % where)
                elif other_kind == kind and other != component \
                        and other not in allowed[component]:
                    errors.append("%s: %s '%s' may not depend on '%s'"
                                  % (where, kind, component, other))
                elif is_public_header and other in PRIVATE_COMPONENTS:
                    errors.append("%s: %s is private to the library's sources"
                                  % (where, other))

    apps = os.path.join(root, "apps")
    if os.path.isdir(apps):
        for path in sources(apps):
            relative = os.path.relpath(path, root)
            for line, header in includes(path):
                if header in owner and owner[header][1] in PRIVATE_COMPONENTS:
                    errors.append("%s:%d: includes %s: the tool reaches %s through the library"
                                  % (relative, line, header, owner[header][1]))
    return errors


def self_test():
    """The check passes a tree that keeps the rules and fails each kind of breach."""
    roots = []

    def tree(files):
        root = tempfile.mkdtemp(prefix="quorin-layering-")
        roots.append(root)
        for relative, text in files.items():
            path = os.path.join(root, relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as stream:
                stream.write(text)
        return root

    good = {
        "src/algoMesh/frame/algoMesh_A.hxx": "#include <Standard.hxx>\n",
        "src/algoMesh/assembly/algoMesh_B.hxx": "#include <algoMesh_A.hxx>\n",
        "src/algoMesh/exchange/algoMesh_C.cxx": "#include <algoMesh_B.hxx>\n#include <RPly_R.hxx>\n",
        "src/platform/RPly/RPly_R.hxx": "",
        "src/platform/algoBase/algoBase_D.hxx": "#include <ActAPI_E.hxx>\n",
        "src/platform/ActiveDataAPI/ActAPI_E.hxx": "",
        "apps/tool/main.cxx": "#include <algoMesh_C.hxx>\n",
    }
    failures = []
    if check(tree(good)):
        failures.append("a tree that keeps the rules was refused: %s" % check(tree(good)))
    breaches = {
        "upward include": ("src/algoMesh/frame/algoMesh_A.hxx", "#include <algoMesh_B.hxx>\n"),
        "platform includes library": ("src/platform/algoBase/algoBase_D.hxx",
                                      "#include <algoMesh_A.hxx>\n"),
        "public header includes RPly": ("src/algoMesh/exchange/algoMesh_F.hxx",
                                        "#include <RPly_R.hxx>\n"),
        "tool includes RPly": ("apps/tool/main.cxx", "#include <RPly_R.hxx>\n"),
        "unknown subsystem": ("src/algoMesh/newthing/algoMesh_G.hxx", ""),
    }
    for name, (relative, text) in breaches.items():
        files = dict(good)
        files[relative] = text
        if not check(tree(files)):
            failures.append("not caught: %s" % name)
    for root in roots:
        shutil.rmtree(root, ignore_errors=True)
    return failures


def main(argv):
    if len(argv) == 2 and argv[1] == "--self-test":
        failures = self_test()
    elif len(argv) == 2:
        failures = check(argv[1])
    else:
        print(__doc__)
        return 2
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
