"""Every way out ends with exit code 0 and a complete report: the system's close
command (close box, Alt+F4) and Escape; arguments change nothing."""
from harness import E2ETestCase, Run, main, stable_lines, wintool


class CloseTest(E2ETestCase):
    def test_system_close_and_arguments(self):
        with Run() as plain:
            plain.wait_shown()
            tree = plain.tree()
            # Alt+F4 and the close box both arrive as WM_SYSCOMMAND/SC_CLOSE. Wine's
            # tree view keeps Alt keys to itself, so the command is posted directly.
            code, _ = wintool("close")
            self.assertEqual(code, 0)
            self.assertEqual(plain.wait_exit(), 0)
            self.assertReportMatchesTree(tree, plain.report())
            first = plain.report()

        with Run(args=["/?", "--help", "stats.txt", "-x y"]) as run:
            run.wait_shown()
            tree = run.tree()
            self.assertSectionsAtRoot(tree)
            run.keys("Escape")
            self.assertEqual(run.wait_exit(), 0)
            self.assertReportMatchesTree(tree, run.report())
            self.assertEqual(stable_lines(run.report()), stable_lines(first))


if __name__ == "__main__":
    main()
