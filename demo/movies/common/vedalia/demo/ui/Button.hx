package vedalia.demo.ui;

import flash.events.MouseEvent;
import flash.text.TextField;
import flash.text.TextFormatAlign;

// A flat push button with a hover state. `selected` marks the active menu entry.
class Button extends Control {
	public var enabled(default, set):Bool = true;
	public var selected(default, set):Bool = false;

	var caption:TextField;
	var hover = false;
	var primary:Bool;
	var onClick:Void->Void;

	public function new(id:String, text:String, w:Float, h:Float, onClick:Void->Void, primary = true) {
		super(id, w, h);
		this.onClick = onClick;
		this.primary = primary;
		caption = new TextField();
		caption.embedFonts = true;
		caption.selectable = false;
		caption.mouseEnabled = false;
		caption.defaultTextFormat = Theme.format(15, Theme.WHITE, TextFormatAlign.CENTER);
		caption.width = w;
		caption.height = 22;
		caption.text = text;
		caption.y = (h - 22) / 2;
		addChild(caption);
		buttonMode = true;
		useHandCursor = true;
		mouseChildren = false;
		addEventListener(MouseEvent.MOUSE_OVER, function(_) {
			hover = true;
			draw();
		});
		addEventListener(MouseEvent.MOUSE_OUT, function(_) {
			hover = false;
			draw();
		});
		addEventListener(MouseEvent.CLICK, function(_) {
			if (enabled)
				this.onClick();
		});
		draw();
	}

	public function setText(text:String) {
		caption.text = text;
	}

	function set_enabled(v:Bool):Bool {
		enabled = v;
		useHandCursor = v;
		draw();
		return v;
	}

	function set_selected(v:Bool):Bool {
		selected = v;
		draw();
		return v;
	}

	function draw() {
		var fill:Int;
		var textColour = Theme.WHITE;
		if (!enabled)
			fill = Theme.DISABLED;
		else if (primary)
			fill = hover ? Theme.ACCENT_DARK : Theme.ACCENT;
		else {
			fill = selected ? Theme.ACCENT : (hover ? Theme.ACCENT_LIGHT : Theme.PANEL);
			textColour = selected ? Theme.WHITE : Theme.TEXT;
		}
		caption.textColor = textColour;
		graphics.clear();
		if (!primary && !selected)
			graphics.lineStyle(1, Theme.LINE);
		graphics.beginFill(fill);
		graphics.drawRoundRect(0, 0, w, h, 10, 10);
		graphics.endFill();
	}
}
