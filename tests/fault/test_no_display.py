"""No X display at all: Direct3D and OpenGL cannot start, everything else is
reported, the file is complete and the program exits with 0."""
from fault import FaultTestCase, main, run_scenario


class NoDisplayTest(FaultTestCase):
    def test_without_x_display(self):
        outcome = run_scenario({}, display=False, doubles=False)
        self.assertSound(outcome)
        self.assertEqual(outcome.section(b"DirectX"), [])
        self.assertEqual(outcome.section(b"OpenGL"), [])
        for section in (b"CPU", b"Memory", b"Windows"):
            self.assertTrue(outcome.section(section), section)
        self.assertEqual(len(outcome.section(b"Windows")), 11)
        self.assertTrue(outcome.data.split(b"\r\n")[-2].startswith(b"Internet Connection:"))


if __name__ == "__main__":
    main()
