package vedalia.demo.ui;

import flash.text.TextField;
import flash.text.TextFieldType;

// A captioned one-line text input.
class Input extends Control {
	public var text(get, set):String;

	var field:TextField;

	public function new(id:String, caption:String, w:Float, password = false, maxChars = 40, captionColour = Theme.MUTED) {
		super(id, w, 52);
		addChild(Theme.label(caption, 13, captionColour));
		field = new TextField();
		field.embedFonts = true;
		field.type = TextFieldType.INPUT;
		field.defaultTextFormat = Theme.format(16, Theme.TEXT);
		field.border = true;
		field.borderColor = Theme.LINE;
		field.background = true;
		field.backgroundColor = Theme.WHITE;
		field.displayAsPassword = password;
		field.maxChars = maxChars;
		field.width = w;
		field.height = 28;
		field.y = 22;
		addChild(field);
	}

	// The input box itself, below the caption (what a click must hit to type into it).
	override public function stageRect():String {
		var r = super.stageRect();
		if (r == "")
			return r;
		var o = field.localToGlobal(new flash.geom.Point(0, 0));
		return Math.round(o.x) + "," + Math.round(o.y) + "," + Math.round(field.width) + "," + Math.round(field.height);
	}

	function get_text():String {
		return field.text;
	}

	function set_text(v:String):String {
		field.text = v;
		return v;
	}
}
