# Source this after scripts/build.sh: `source scripts/env.sh [BUILD_DIR]` (default build/default).
# Puts the build's tools (mexcall, winpath, reg) on PATH and gives the README's examples their
# setting: drive C: is a demo folder holding Project Files\Data\ReadMe.TXT and
# Project Files\Quarterly Report.docx, the current directory is C:\Project Files, and the registry
# is a file of its own beside it, so nothing lands in the home folder. ORLENDA_DEMO=FOLDER puts
# the demo folder elsewhere.
orlenda_root=$(cd "$(dirname "${BASH_SOURCE[0]:-$0}")/.." && pwd)
orlenda_build=$(cd "${1:-$orlenda_root/build/default}" && pwd)
orlenda_demo=${ORLENDA_DEMO:-$orlenda_build/demo}

mkdir -p "$orlenda_demo/C/Project Files/Data"
touch "$orlenda_demo/C/Project Files/Data/ReadMe.TXT" "$orlenda_demo/C/Project Files/Quarterly Report.docx"

case ":$PATH:" in
  *":$orlenda_build/bin:"*) ;;
  *) export PATH="$orlenda_build/bin:$PATH" ;;
esac
export WIN32_STANDIN_DRIVES="C=$orlenda_demo/C"
export WIN32_STANDIN_CWD='C:\Project Files'
export WIN32_STANDIN_REGISTRY="$orlenda_demo/registry.db"
unset MEXCALL_PATH orlenda_root orlenda_build orlenda_demo
