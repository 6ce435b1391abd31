// A movie that registers no callbacks at all: it only says it runs.
class SilentMovie {
  static function main() {
    flash.Lib.fscommand("silent", "running");
  }
}
