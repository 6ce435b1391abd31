package vedalia.demo;

import flash.display.Sprite;
import flash.text.TextField;
import vedalia.demo.ui.Button;
import vedalia.demo.ui.Control;
import vedalia.demo.ui.Input;
import vedalia.demo.ui.Theme;

// The frame of a course item's movie, shown in its own viewer window: a title, what the
// window told the movie about its file, a column of commands and a status line. The
// viewer answers its own movie the way the main window answers the main movie.
class ItemMovie extends Sprite {
	var stageW:Int;
	var stageH:Int;
	var controls = new Map<String, Control>();
	var info:TextField;
	var statusLine:TextField;
	var status = "";
	var fileType = "";
	var fileName = "";
	var content = "";

	public function new(title:String, stageW:Int, stageH:Int, background:Int) {
		super();
		this.stageW = stageW;
		this.stageH = stageH;
		graphics.beginFill(background);
		graphics.drawRect(0, 0, stageW, stageH);
		graphics.endFill();
		var t = Theme.label(title, 22, Theme.WHITE);
		t.x = 20;
		t.y = 12;
		addChild(t);
		info = Theme.label("", 12, 0xB8C6DA);
		info.x = 20;
		info.y = 44;
		addChild(info);
		graphics.beginFill(0x000000, 0.25);
		graphics.drawRect(0, stageH - 34, stageW, 34);
		graphics.endFill();
		statusLine = Theme.label("", 13, Theme.WHITE);
		statusLine.x = 20;
		statusLine.y = stageH - 27;
		addChild(statusLine);

		Shell.connect(findVariable, function(_) {});
		Shell.on("fileType", function(v) {
			fileType = v;
			showInfo();
		});
		Shell.on("fileName", function(v) {
			fileName = v;
			showInfo();
		});
		Shell.on("mediaContent", function(v) {
			content = v;
			showInfo();
		});
	}

	public function add<T:Control>(c:T, x:Float, y:Float):T {
		c.x = x;
		c.y = y;
		addChild(c);
		controls.set(c.id, c);
		return c;
	}

	public function button(id:String, caption:String, x:Float, y:Float, w:Float, onClick:Void->Void):Button {
		return add(new Button(id, caption, w, 36, onClick), x, y);
	}

	public function setStatus(text:String) {
		status = text;
		statusLine.text = text;
	}

	function showInfo() {
		var parts = [];
		if (fileType != "")
			parts.push("папка: " + fileType);
		if (fileName != "")
			parts.push("файл: " + fileName);
		if (content != "" && content != "none")
			parts.push("данные: " + content);
		info.text = parts.join(" · ");
	}

	// GetVariable: the stage size (the viewer sizes some windows to it), the movie's state and
	// where its controls are.
	function findVariable(name:String):Null<String> {
		switch (name) {
			case "ready":
				return "1";
			case "Stage_width":
				return Std.string(stageW);
			case "Stage_height":
				return Std.string(stageH);
			case "status":
				return status;
			case "info":
				return info.text;
			default:
		}
		var colon = name.indexOf(":");
		if (colon < 0)
			return null;
		var c = controls.get(name.substr(colon + 1));
		switch (name.substr(0, colon)) {
			case "at":
				return c == null ? "" : c.stageRect();
			case "field":
				return Std.isOfType(c, Input) ? (cast c : Input).text : "";
			default:
				return null;
		}
	}
}
