package vedalia.demo.ui;

import flash.display.Shape;
import flash.events.MouseEvent;

// A box with a caption that toggles on a click.
class CheckBox extends Control {
	public var checked(default, set):Bool;

	var box:Shape;

	public function new(id:String, caption:String, checked:Bool) {
		var text = Theme.label(caption, 14, Theme.TEXT);
		super(id, 26 + text.width, 22);
		box = new Shape();
		addChild(box);
		text.x = 26;
		addChild(text);
		buttonMode = true;
		mouseChildren = false;
		// The whole row is the hit area, not just the glyphs.
		graphics.beginFill(0xFFFFFF, 0.01);
		graphics.drawRect(0, 0, w, h);
		graphics.endFill();
		addEventListener(MouseEvent.CLICK, function(_) this.checked = !this.checked);
		this.checked = checked;
	}

	function set_checked(v:Bool):Bool {
		checked = v;
		var g = box.graphics;
		g.clear();
		g.lineStyle(1, Theme.ACCENT_DARK);
		g.beginFill(v ? Theme.ACCENT : Theme.WHITE);
		g.drawRoundRect(0, 2, 18, 18, 4, 4);
		g.endFill();
		if (v) {
			g.lineStyle(2, Theme.WHITE);
			g.moveTo(4, 11);
			g.lineTo(8, 15);
			g.lineTo(14, 6);
		}
		return v;
	}
}
