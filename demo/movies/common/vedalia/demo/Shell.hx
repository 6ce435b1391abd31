package vedalia.demo;

import flash.external.ExternalInterface;

// The movie's side of the shell protocol.
//
// Commands go out as FSCommands: a command word and one argument text. The shell answers
// by assigning one movie variable, text of the form name=value, which reaches the movie
// through the SetVariable callback registered here. The shell (and the tests) read the
// movie's state back through GetVariable, and may move it with GotoFrame.
class Shell {
	// Replies seen so far by name (the last value of each), and what the movie publishes.
	static var replies = new Map<String, String>();
	static var published = new Map<String, Void->String>();
	static var handlers = new Map<String, String->Void>();
	static var onFrame:Int->Void;
	static var listener:String->String->Void;
	static var lookup:String->Null<String>;

	public static var lastReply(default, null) = "";
	public static var lastCommand(default, null) = "";
	public static var commandCount(default, null) = 0;

	// `find` answers GetVariable names the movie computes (control positions and the like);
	// `gotoFrame` is called by the GotoFrame callback.
	public static function connect(find:String->Null<String>, gotoFrame:Int->Void) {
		lookup = find;
		onFrame = gotoFrame;
		if (!ExternalInterface.available)
			return;
		ExternalInterface.addCallback("SetVariable", setVariable);
		ExternalInterface.addCallback("GetVariable", getVariable);
		ExternalInterface.addCallback("GotoFrame", function(frame:Dynamic) onFrame(Std.parseInt(Std.string(frame))));
	}

	// Calls `handler` with the value of every reply named `name`.
	public static function on(name:String, handler:String->Void) {
		handlers.set(name, handler);
	}

	// Calls `handler` with the name and value of every reply, after its own handler.
	public static function onAnyReply(handler:String->String->Void) {
		listener = handler;
	}

	// Makes a piece of the movie's state readable through GetVariable.
	public static function publish(name:String, value:Void->String) {
		published.set(name, value);
	}

	public static function send(command:String, args:String = "") {
		lastCommand = args == "" ? command : command + " " + args;
		commandCount++;
		flash.Lib.fscommand(command, args);
	}

	// A reply: the shell calls SetVariable(name, value). A reply may also come as one
	// "name=value" text in the name with an empty value; both are taken.
	static function setVariable(name:Dynamic, value:Dynamic) {
		var n = name == null ? "" : Std.string(name);
		var v = value == null ? "" : Std.string(value);
		var eq = n.indexOf("=");
		if (eq >= 0 && v == "") {
			v = n.substr(eq + 1);
			n = n.substr(0, eq);
		}
		// "askedLogin = nil" carries blanks round its "=".
		n = StringTools.trim(n);
		if (n == "")
			return;
		lastReply = n + "=" + v;
		replies.set(n, v);
		var h = handlers.get(n);
		if (h != null)
			h(v);
		if (listener != null)
			listener(n, v);
	}

	static function getVariable(name:Dynamic):String {
		var n = name == null ? "" : Std.string(name);
		switch (n) {
			case "lastReply":
				return lastReply;
			case "lastCommand":
				return lastCommand;
			case "commandCount":
				return Std.string(commandCount);
			default:
		}
		var p = published.get(n);
		if (p != null)
			return p();
		if (lookup != null) {
			var v = lookup(n);
			if (v != null)
				return v;
		}
		var r = replies.get(n);
		return r == null ? "" : r;
	}
}
