#!/usr/bin/env bash
# Checks that the documents stay true to the tree:
#
#   - every path that README.md or docs/*.md names exists: the targets of
#     relative links, and every path of the repository's folders named in
#     backticks or in the text (a * in a name matches as in the shell);
#     build outputs (build/...), absolute paths and paths with a variable
#     are not checked;
#   - every type, function or variable that docs/architecture.md names in
#     backticks (a name with a capital letter and a small one, or with ::)
#     is declared in the code, or, for a Win32 function, called in a
#     Windows half of the seam (names of std:: are not checked);
#   - the exceptions: the list of docs/architecture.md's section "Errors"
#     names each exception class with its header, and each is declared in
#     that header and in no other; every class of the product's folders
#     that derives from its base (Exception) is listed, none derives from
#     an exception of std:: other than the base, and every throw raises one
#     of the listed classes.
#
#   check-docs.sh              checks the tree; prints every name that does
#                              not hold and exits 1 on one
#   check-docs.sh --root DIR   checks the tree below DIR
#   check-docs.sh --self-test  shows that the check passes on a copy of the
#                              tree and fails on a renamed file, a
#                              renamed class or function, an exception
#                              class missing from the list or listed with
#                              another header, and a throw of an
#                              exception of std:: in the copy
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
script="$root/scripts/check-docs.sh"

run_check() {
  python3 - "$1" <<'PY'
import glob, os, re, sys

top = sys.argv[1]
os.chdir(top)
folders = ["app", "protect", "dbase", "sysutil", "platform", "standin", "text",
           "tools", "testing", "fuzz", "bench", "scripts", "docs", "cmake", "packaging"]
failures = []

def exists(path):
    path = path.rstrip("/")
    if any(c in path for c in "*?["):
        return bool(glob.glob(path))
    return os.path.exists(path)

def checked_path(token):
    if not token or token.startswith(("/", "$", "~", "%", "build/", "-", "http")):
        return None
    if "\\" in token or "<" in token or "/" not in token:
        return None
    return token.rstrip(".,;:)")

documents = ["README.md"] + sorted(glob.glob("docs/*.md"))
prose_path = re.compile(r"(?<![\w/$.~-])((?:%s)/[\w.*/-]*)" % "|".join(folders))
for doc in documents:
    with open(doc, encoding="utf-8") as f:
        text = f.read()
    here = os.path.dirname(doc)
    named = set()
    for link in re.findall(r"\]\(([^)\s]+)\)", text):
        link = link.split("#")[0]
        if link and not re.match(r"[a-z]+:", link):
            named.add(os.path.normpath(os.path.join(here, link)))
    for quoted in re.findall(r"`([^`\n]+)`", text):
        path = checked_path(quoted.split()[0] if quoted.split() else "")
        if path:
            named.add(path)
    for match in prose_path.findall(re.sub(r"`[^`\n]+`", " ", text)):
        path = match.rstrip(".,;:")
        if path.count("/") == 1 and path.endswith("/"):
            named.add(path)
        elif path:
            named.add(path)
    for path in sorted(named):
        if not exists(path):
            failures.append(f"{doc}: names {path}, which does not exist")

# Declarations in the sources: types, functions and variables by name.
sources = []
for folder in folders:
    for ext in ("h", "cc"):
        sources += glob.glob(f"{folder}/**/*.{ext}", recursive=True)
code = {}
for path in sources:
    with open(path, encoding="utf-8", errors="replace") as f:
        code[path] = "\n".join(l for l in f.read().split("\n")
                               if not l.lstrip().startswith("//"))

def declared(name):
    short = re.escape(name)
    patterns = [
        rf"\b(class|struct|union|enum class|enum|using|namespace)\s+{short}\b",
        rf"^[ \t]*(\[\[\w+\]\][ \t]*)?(template<[^>]*>[ \t]*)?([\w:<>,*&]+[ \t]+)+[*&]?{short}[ \t]*\(",
        rf"^[ \t]*(\w+[ \t]+)*[\w:<>]+[ \t]+{short}[ \t]*(;|=|\{{|\[)",
        rf"^[ \t]*[\w:<>]+::{short}[ \t]*\(",
        rf"#define[ \t]+{short}\b",
    ]
    pattern = re.compile("|".join(f"(?:{p})" for p in patterns), re.M)
    return any(pattern.search(text) for text in code.values())

def called_in_windows_half(name):
    pattern = re.compile(rf"\b{re.escape(name)}\s*\(")
    return any(pattern.search(text) for path, text in code.items() if path.endswith("_win32.cc"))

with open("docs/architecture.md", encoding="utf-8") as f:
    architecture = f.read()
names = set()
for quoted in re.findall(r"`([^`\n]+)`", architecture):
    quoted = quoted.removesuffix("()")
    if re.fullmatch(r"(\w+::)*\w+", quoted) and (
            "::" in quoted or (re.search(r"[A-Z]", quoted) and re.search(r"[a-z]", quoted))):
        names.add(quoted)
for name in sorted(names):
    parts = name.split("::")
    if parts[0] == "std":
        continue
    if parts[0] in ("platform", "standin", "text", "veilbox"):
        parts = parts[1:]
    if all(declared(p) for p in parts):
        continue
    if len(parts) == 1 and called_in_windows_half(parts[0]):
        continue
    failures.append(f"docs/architecture.md: names `{name}`, which the code does not declare")

# The exceptions: one base, each class in one header, all of them listed.
product = ["app", "protect", "dbase", "sysutil", "platform", "standin", "text", "tools"]
product_code = {path: text for path, text in code.items()
                if path.split("/")[0] in product and not re.search(r"_test\.cc$", path)}
# The list is the bullet of the section that begins "**What ends the run".
section = re.search(r"^## Errors\n.*?^- \*\*What ends the run(.*?)(?=^- |^## )",
                    architecture, re.M | re.S)
listed = {}
if not section:
    failures.append("docs/architecture.md: no list of the exceptions in the section \"Errors\"")
else:
    for names, header in re.findall(r"((?:`\w+`,?\s*)+)\(`([\w/]+\.h)`\)", section.group(1)):
        for name in re.findall(r"`(\w+)`", names):
            listed[name] = header
defined_in = {}
bases = {}
for path, text in product_code.items():
    for name, base in re.findall(
            r"\b(?:class|struct)\s+(\w+)\s*(?:final\s*)?:\s*public\s+([\w:]+)", text):
        bases[name] = base
    if path.endswith(".h"):
        for name in re.findall(r"\b(?:class|struct)\s+(\w+)\b(?!\s*;)", text):
            defined_in.setdefault(name, []).append(path)
std_exceptions = ("std::exception", "std::runtime_error", "std::logic_error",
                  "std::system_error", "std::invalid_argument", "std::out_of_range")
def in_tree(name):
    seen = set()
    while name in bases and name not in seen:
        if name == "Exception":
            return True
        seen.add(name)
        name = bases[name]
    return name == "Exception"
for name, base in sorted(bases.items()):
    if base in std_exceptions and name != "Exception":
        failures.append(f"class {name} derives from {base}, not from Exception")
tree = sorted(n for n in bases if in_tree(n)) + (["Exception"] if "Exception" in bases else [])
if "Exception" not in bases:
    failures.append("no class Exception, the base of the program's exceptions, in the code")
for name in tree:
    if name not in listed:
        failures.append(f"docs/architecture.md: the exception class {name} "
                        f"({', '.join(defined_in.get(name, ['?']))}) is not in the list of \"Errors\"")
for name, header in sorted(listed.items()):
    where = defined_in.get(name, [])
    if where != [header]:
        failures.append(f"docs/architecture.md: lists the exception {name} in {header}; "
                        f"the code declares it in {', '.join(where) or 'no header'}")
    elif name not in tree:
        failures.append(f"docs/architecture.md: lists {name} as an exception; it does not "
                        f"derive from Exception")
for path, text in sorted(product_code.items()):
    for thrown in re.findall(r"\bthrow\s+([\w:]+)\s*[({]", text):
        if thrown.removeprefix("veilbox::") not in tree:
            failures.append(f"{path}: throws {thrown}, which does not derive from Exception")

for failure in failures:
    print(failure)
if failures:
    print(f"{len(failures)} statement(s) of the documents that do not hold")
    sys.exit(1)
print("documents: every path they name exists, every name of the code is declared")
PY
}

# Changes a copy of the tree by one command and expects the check to fail
# and to name what changed.
expect_failure() {
  local copy=$1 what=$2 change=$3 out
  if ! (cd "$copy" && eval "$change"); then
    echo "self-test: could not make the change: $change"
    return 1
  fi
  if out=$(bash "$script" --root "$copy" 2>&1); then
    echo "self-test: the check passed with $what"
    return 1
  fi
  echo "self-test: refused $what"
}

# One case of the self-test, on a fresh copy of the untouched tree
# ($base and $copy are self_test's).
case_fails() {
  rm -rf "$copy" && cp -a "$base" "$copy" || return 2
  expect_failure "$copy" "$@"
}

self_test() {
  local copy status=0
  copy=$(mktemp -d) || return 2
  trap 'rm -rf "$copy"' RETURN
  (cd "$root" && git ls-files -z | xargs -0 cp --parents -t "$copy") || return 2
  if ! bash "$script" --root "$copy" >/dev/null; then
    echo "self-test: the copy of the tree does not pass"
    bash "$script" --root "$copy"
    return 1
  fi
  local base
  base=$(mktemp -d) && rm -rf "$base" && cp -a "$copy" "$base" || return 2
  case_fails "app/run_end.h renamed" 'mv app/run_end.h app/run_finish.h' || status=1
  case_fails "scripts/check-includes.sh renamed" \
    'mv scripts/check-includes.sh scripts/include-check.sh' || status=1
  case_fails "class TDBase3Plus renamed" \
    "grep -rl --include='*.h' --include='*.cc' TDBase3Plus . | xargs sed -i 's/\\bTDBase3Plus\\b/DBaseTable/g'" || status=1
  case_fails "function RunCompile renamed" \
    "grep -rl --include='*.h' --include='*.cc' RunCompile . | xargs sed -i 's/\\bRunCompile\\b/CompileRun/g'" || status=1
  case_fails "an exception class missing from the list" \
    "printf 'namespace veilbox { class StrayError : public Error { using Error::Error; }; }\\n' >> app/run_end.h" || status=1
  case_fails "an exception listed with another header" \
    "sed -i 's|- \`RunEnded\` (\`sysutil/errors.h\`)|- \`RunEnded\` (\`app/run_end.h\`)|' docs/architecture.md" || status=1
  case_fails "a throw of an exception of std::" \
    "sed -i 's|throw RunEnded(code);|throw std::runtime_error(\"ended\");|' app/run_end.h" || status=1
  rm -rf "$base"
  [ "$status" -eq 0 ] && echo "self-test: passed"
  return "$status"
}

case "${1:-}" in
  --self-test) self_test ;;
  --root) run_check "$2" ;;
  "") run_check "$root" ;;
  *)
    echo "usage: check-docs.sh [--root DIR | --self-test]" >&2
    exit 2
    ;;
esac
