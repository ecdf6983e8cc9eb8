"""The main dialog as a user meets it: shown filled, at 0,0, fixed frame; Enter
does nothing, Escape closes; File > About opens the owned box, twice; the tree
and stats.txt hold the same lines."""
import re
import subprocess
import time

from harness import E2ETestCase, Run, main, wintool

WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX = 0x40000, 0x20000, 0x10000


def describe():
    code, out = wintool("describe")
    assert code == 0, "cannot describe the dialog"
    return out.decode()


def about_boxes():
    code, out = wintool("windows")
    return [line for line in out.decode().splitlines() if line.startswith("window ") or line.startswith("  child")]


class DialogTest(E2ETestCase):
    def open_about(self, run):
        facts = describe()
        m = re.search(r"^menubar file x=(-?\d+) y=(-?\d+)$", facts, re.M)
        self.assertIsNotNone(m, facts)
        subprocess.run(["xdotool", "mousemove", m.group(1), m.group(2), "click", "1"], check=True)
        time.sleep(1)
        subprocess.run(["xdotool", "key", "Down", "Return"], check=True)
        for _ in range(120):
            boxes = about_boxes()
            if any("title=Capabilities" in line for line in boxes):
                return boxes
            time.sleep(0.5)
        self.fail("no About box")

    def test_a_user_session(self):
        with Run() as run:
            run.wait_shown()
            facts = describe()
            m = re.search(r"^dialog x=(-?\d+) y=(-?\d+) visible=1 style=([0-9a-f]+) exstyle=([0-9a-f]+)$", facts, re.M)
            self.assertIsNotNone(m, facts)
            self.assertEqual((int(m.group(1)), int(m.group(2))), (0, 0))
            style = int(m.group(3), 16)
            self.assertFalse(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), hex(style))
            m = re.search(r"^tree class=SysTreeView32 style=([0-9a-f]+)$", facts, re.M)
            self.assertIsNotNone(m, facts)
            # The template's style less WS_BORDER, which the tree view turns into a client edge.
            self.assertEqual(int(m.group(1), 16) & ~0x00800000, 0x50010003)

            tree = run.tree()
            self.assertSectionsAtRoot(tree)

            run.keys("Return")
            time.sleep(2)
            self.assertTrue(run.running(), "Enter closed the dialog")

            for _ in range(2):
                boxes = self.open_about(run)
                header = [line for line in boxes if "title=Capabilities" in line][0]
                self.assertIn("class=#32770", header)
                self.assertIn("owned_by_dialog=1", header)
                buttons = [line for line in boxes if "class=Button" in line]
                self.assertEqual(len(buttons), 1, boxes)
                self.assertIn("text=OK", buttons[0])
                texts = [line for line in boxes if "class=Static" in line and "Vindrel" in line]
                self.assertEqual(len(texts), 1, boxes)
                self.assertEqual(texts[0].count("\\n"), 5)
                self.assertNotIn("\\r", texts[0])
                subprocess.run(["xdotool", "key", "Return"], check=True)
                for _ in range(60):
                    if not any("title=Capabilities" in line for line in about_boxes()):
                        break
                    time.sleep(0.5)
                self.assertTrue(run.running())
            self.assertEqual(run.tree(), tree, "the About box changed the tree")

            run.keys("Escape")
            self.assertEqual(run.wait_exit(), 0)
            self.assertReportMatchesTree(tree, run.report())


if __name__ == "__main__":
    main()
