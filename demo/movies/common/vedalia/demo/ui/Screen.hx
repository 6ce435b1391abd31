package vedalia.demo.ui;

import flash.display.Sprite;

// One page of a movie's content area: a title, a short hint and its controls, laid out in
// rows from the top. Controls are registered by id so that they can be found by name.
class Screen extends Sprite {
	public var id(default, null):String;
	public var controls(default, null) = new Map<String, Control>();

	var w:Float;
	var nextY:Float;

	public function new(id:String, title:String, hint:String, w:Float) {
		super();
		this.id = id;
		this.w = w;
		var t = Theme.label(title, 22, Theme.HEADER);
		t.x = 24;
		t.y = 18;
		addChild(t);
		nextY = 58;
		if (hint != "") {
			var h = Theme.label(hint, 13, Theme.MUTED, w - 48);
			h.x = 24;
			h.y = nextY;
			addChild(h);
			nextY += h.height + 12;
		}
	}

	// Places `c` at (24 + dx, the current row) and returns it; `advance` moves to a new row.
	public function put<T:Control>(c:T, dx:Float = 0, advance = true, gap:Float = 12):T {
		c.x = 24 + dx;
		c.y = nextY;
		addChild(c);
		controls.set(c.id, c);
		if (advance)
			nextY += c.h + gap;
		return c;
	}

	// Places `c` at a fixed point of the page, outside the row flow.
	public function place<T:Control>(c:T, x:Float, y:Float):T {
		c.x = x;
		c.y = y;
		addChild(c);
		controls.set(c.id, c);
		return c;
	}

	public var rowY(get, never):Float;

	function get_rowY():Float {
		return nextY;
	}

	public function skip(dy:Float) {
		nextY += dy;
	}

	public function text(s:String, size = 14, colour = Theme.TEXT):flash.text.TextField {
		var t = Theme.label(s, size, colour, w - 48);
		t.x = 24;
		t.y = nextY;
		addChild(t);
		nextY += t.height + 8;
		return t;
	}
}
