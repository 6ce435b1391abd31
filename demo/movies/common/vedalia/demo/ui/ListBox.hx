package vedalia.demo.ui;

import flash.display.Sprite;
import flash.events.MouseEvent;
import flash.text.TextField;

// A list of text rows; a click selects a row. Rows beyond the box are reached with the
// two arrow buttons at its right.
class ListBox extends Control {
	public static inline var ROW = 26;

	public var items(default, null):Array<String> = [];
	public var selectedIndex(default, null):Int = -1;
	public var emptyText:String = "";

	var rows:Array<TextField> = [];
	var highlight:Sprite;
	var first = 0;
	var visibleRows:Int;
	var onSelect:Int->Void;

	public function new(id:String, w:Float, h:Float, ?onSelect:Int->Void) {
		super(id, w, h);
		this.onSelect = onSelect;
		visibleRows = Std.int((h - 8) / ROW);
		graphics.lineStyle(1, Theme.LINE);
		graphics.beginFill(Theme.WHITE);
		graphics.drawRect(0, 0, w, h);
		graphics.endFill();
		highlight = new Sprite();
		highlight.graphics.beginFill(Theme.ACCENT_LIGHT);
		highlight.graphics.drawRect(0, 0, w - 40, ROW);
		highlight.graphics.endFill();
		highlight.x = 1;
		highlight.visible = false;
		highlight.mouseEnabled = false;
		addChild(highlight);
		for (i in 0...visibleRows) {
			var t = Theme.label("", 14, Theme.TEXT);
			t.autoSize = flash.text.TextFieldAutoSize.NONE;
			t.width = w - 50;
			t.height = ROW;
			t.x = 10;
			t.y = 4 + i * ROW + 3;
			rows.push(t);
			addChild(t);
		}
		var up = new Button(id + ".up", "▲", 28, 28, function() scroll(-1), false);
		var down = new Button(id + ".down", "▼", 28, 28, function() scroll(1), false);
		up.x = down.x = w - 34;
		up.y = 6;
		down.y = h - 34;
		addChild(up);
		addChild(down);
		addEventListener(MouseEvent.CLICK, function(_) {
			// The event's own coordinates are those of whichever child was hit.
			if (mouseX > w - 40)
				return;
			var i = first + Std.int((mouseY - 4) / ROW);
			if (i >= 0 && i < items.length)
				select(i);
		});
		redraw();
	}

	public function setItems(list:Array<String>) {
		items = list;
		first = 0;
		selectedIndex = -1;
		redraw();
	}

	public function select(i:Int) {
		selectedIndex = i;
		redraw();
		if (onSelect != null)
			onSelect(i);
	}

	// Stage rectangle of row i while it is scrolled into view, else "".
	public function rowRect(i:Int):String {
		if (stageRect() == "" || i < first || i >= first + visibleRows || i >= items.length)
			return "";
		var o = localToGlobal(new flash.geom.Point(0, 0));
		return Math.round(o.x + 1) + "," + Math.round(o.y + 4 + (i - first) * ROW) + "," + Math.round(w - 40) + "," + ROW;
	}

	function scroll(step:Int) {
		var limit = Std.int(Math.max(0, items.length - visibleRows));
		first = Std.int(Math.min(limit, Math.max(0, first + step * (visibleRows - 1))));
		redraw();
	}

	function redraw() {
		for (i in 0...visibleRows) {
			var k = first + i;
			rows[i].textColor = Theme.TEXT;
			if (k < items.length)
				rows[i].text = items[k];
			else if (k == 0 && emptyText != "") {
				rows[i].text = emptyText;
				rows[i].textColor = Theme.MUTED;
			} else
				rows[i].text = "";
		}
		var shown = selectedIndex - first;
		highlight.visible = selectedIndex >= 0 && shown >= 0 && shown < visibleRows;
		highlight.y = 4 + shown * ROW;
	}
}
