// The renderer tests' movie. It registers the host's callbacks and answers through
// FSCommands, so the tests see what reached it and in which order:
//   start:               fscommand("ready", "Привет, мир|ready")
//   SetVariable(n, v):   fscommand("echo", n + "=" + v); and for some names an action:
//     ask=TEXT           ExternalInterface.call("hostQuestion", TEXT), then
//                        fscommand("answer", <the host's return value>)
//     flood=N            N fscommands ("flood", i) in one go, then fscommand("flooded", N)
//   GetVariable(n):      the value last set for n; "movieName" is the movie's own
//   GotoFrame(f):        fscommand("goto", f)
import flash.external.ExternalInterface;

class EchoMovie {
  static var values:Map<String, String> = ["movieName" => "echo-movie"];

  static function send(command:String, args:String) {
    flash.Lib.fscommand(command, args);
  }

  static function setVariable(name:String, value:String) {
    values.set(name, value);
    send("echo", name + "=" + value);
    if (name == "ask") {
      var answer:Dynamic = ExternalInterface.call("hostQuestion", value);
      send("answer", Std.string(answer));
    } else if (name == "flood") {
      var n = Std.parseInt(value);
      for (i in 0...n) send("flood", Std.string(i));
      send("flooded", value);
    }
  }

  static function main() {
    var stage = flash.Lib.current.stage;
    // Haxe's start-up pins the stage to the top left; movies made in Flash keep it centred.
    stage.align = cast "";
    var g = flash.Lib.current.graphics;
    g.beginFill(0x2E7D6B);
    g.drawRect(20, 20, stage.stageWidth - 40, stage.stageHeight - 40);
    g.endFill();
    ExternalInterface.addCallback("SetVariable", setVariable);
    ExternalInterface.addCallback("GetVariable", function(name:String):String {
      return values.exists(name) ? values.get(name) : "";
    });
    ExternalInterface.addCallback("GotoFrame", function(frame:Int) {
      send("goto", Std.string(frame));
    });
    send("ready", "Привет, мир|ready");
  }
}
